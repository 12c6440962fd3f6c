// Shell links: finding the LinkInfo block behind the header and ID list, and
// taking it out, at each bound of the header, the ID list and the block.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "formats/shell_link.h"

namespace {

using bytes = std::vector<uint8_t>;
using lnk::status;

const uint32_t IS_UNICODE = 0x80, HAS_NAME = 0x4, HAS_WORKING_DIR = 0x10;

void le16(bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void le32(bytes& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}
void append(bytes& b, const bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
uint32_t flags_of(const bytes& b) {
    return uint32_t(b[0x14]) | uint32_t(b[0x15]) << 8 | uint32_t(b[0x16]) << 16 | uint32_t(b[0x17]) << 24;
}

// A header as the shell writes it, with these link flags.
bytes header(uint32_t flags) {
    bytes b;
    le32(b, 0x4C);
    append(b, {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46});
    le32(b, flags);
    b.resize(0x4C, 0x11);  // attributes, times, size, icon, show command, hot key
    return b;
}

// An ID list of n bytes behind its 2-byte size (what it holds does not matter here).
bytes id_list(uint16_t n) {
    bytes b;
    le16(b, n);
    for (uint16_t i = 0; i < n; i++) b.push_back(uint8_t(0xA0 + i % 16));
    return b;
}

// A LinkInfo block whose size field says `declared`, with n bytes in all.
bytes link_info(uint32_t declared, size_t n) {
    bytes b;
    le32(b, declared);
    while (b.size() < n) b.push_back(0x5C);
    return b;
}

const bytes strings = {0x08, 0x00, 'T', 0, 'o', 0, 'l', 0, 'v', 0, 'e', 0, 'n', 0, 'a', 0, 'r', 0};
const bytes extra_end = {0, 0, 0, 0};

// Header, ID list, a LinkInfo block of `info` bytes, then the strings and the end of the extra data.
bytes full_link(uint32_t info) {
    bytes b = header(lnk::HAS_ID_LIST | lnk::HAS_LINK_INFO | HAS_NAME | IS_UNICODE);
    append(b, id_list(20));
    append(b, link_info(info, info));
    append(b, strings);
    append(b, extra_end);
    return b;
}

TEST(ShellLink, TheBlockBehindTheIdListIsTakenOutWithItsFlag) {
    bytes link = full_link(0x3D);
    lnk::block where;
    ASSERT_EQ(lnk::find_link_info(link.data(), link.size(), where), status::found);
    EXPECT_EQ(where.offset, 0x4Cu + 2 + 20);
    EXPECT_EQ(where.size, 0x3Du);

    bytes want = header(lnk::HAS_ID_LIST | HAS_NAME | IS_UNICODE);
    append(want, id_list(20));
    append(want, strings);
    append(want, extra_end);
    EXPECT_EQ(lnk::drop_link_info(link), status::found);
    EXPECT_EQ(link, want);
    // Once out, there is none to take.
    EXPECT_EQ(lnk::drop_link_info(link), status::none);
    EXPECT_EQ(link, want);
}

TEST(ShellLink, WithoutAnIdListTheBlockFollowsTheHeader) {
    bytes link = header(lnk::HAS_LINK_INFO | HAS_WORKING_DIR);
    append(link, link_info(0x1C, 0x1C));
    append(link, strings);
    EXPECT_EQ(lnk::drop_link_info(link), status::found);
    bytes want = header(HAS_WORKING_DIR);
    append(want, strings);
    EXPECT_EQ(link, want);
}

TEST(ShellLink, ALinkWithoutTheBlockStaysAsItIs) {
    bytes link = header(lnk::HAS_ID_LIST | HAS_NAME);
    append(link, id_list(3));
    append(link, strings);
    const bytes before = link;
    EXPECT_EQ(lnk::drop_link_info(link), status::none);
    EXPECT_EQ(link, before);
    // The header alone is a link without either.
    bytes bare = header(0);
    EXPECT_EQ(lnk::drop_link_info(bare), status::none);
    EXPECT_EQ(bare, header(0));
}

// The link is left unchanged and reported malformed.
void expect_malformed(bytes link) {
    const bytes before = link;
    lnk::block where;
    EXPECT_EQ(lnk::find_link_info(link.data(), link.size(), where), status::malformed);
    EXPECT_EQ(lnk::drop_link_info(link), status::malformed);
    EXPECT_EQ(link, before);
}

TEST(ShellLink, TheHeaderMustBeWholeAndOfALink) {
    expect_malformed({});
    bytes cut = header(0);
    cut.pop_back();  // 0x4B bytes
    expect_malformed(cut);
    bytes bigger = header(0);
    bigger[0] = 0x4D;  // a header size no writer uses
    bigger.push_back(0);
    expect_malformed(bigger);
    bytes other_class = header(lnk::HAS_LINK_INFO);
    other_class[4] ^= 1;
    append(other_class, link_info(0x1C, 0x1C));
    expect_malformed(other_class);
}

TEST(ShellLink, TheIdListMustEndInsideTheBytes) {
    bytes no_size = header(lnk::HAS_ID_LIST);
    no_size.push_back(0);  // one byte of the two
    expect_malformed(no_size);

    bytes to_the_end = header(lnk::HAS_ID_LIST);
    append(to_the_end, id_list(30));
    lnk::block where;
    EXPECT_EQ(lnk::find_link_info(to_the_end.data(), to_the_end.size(), where), status::none);
    to_the_end.pop_back();  // one byte short of its size
    expect_malformed(to_the_end);

    bytes largest = header(lnk::HAS_ID_LIST);
    append(largest, id_list(0xFFFF));
    EXPECT_EQ(lnk::find_link_info(largest.data(), largest.size(), where), status::none);
    largest.pop_back();
    expect_malformed(largest);
}

TEST(ShellLink, TheBlockMustHoldItsFixedFieldsAndEndInsideTheBytes) {
    bytes link = header(lnk::HAS_ID_LIST | lnk::HAS_LINK_INFO);
    append(link, id_list(4));
    bytes three = link;
    append(three, {0x1C, 0, 0});  // a size field cut short
    expect_malformed(three);

    bytes smallest = link;
    append(smallest, link_info(0x1C, 0x1C));
    lnk::block where;
    EXPECT_EQ(lnk::find_link_info(smallest.data(), smallest.size(), where), status::found);
    EXPECT_EQ(where.size, 0x1Cu);

    bytes too_small = link;
    append(too_small, link_info(0x1B, 0x1C));
    expect_malformed(too_small);

    bytes to_the_end = link;
    append(to_the_end, link_info(0x40, 0x40));
    EXPECT_EQ(lnk::drop_link_info(to_the_end), status::found);
    EXPECT_EQ(to_the_end, [&] {
        bytes b = header(lnk::HAS_ID_LIST);
        append(b, id_list(4));
        return b;
    }());

    bytes past_the_end = link;
    append(past_the_end, link_info(0x41, 0x40));
    expect_malformed(past_the_end);

    bytes huge = link;
    append(huge, link_info(0xFFFFFFFFu, 0x40));
    expect_malformed(huge);
}

TEST(ShellLink, OtherFlagsAndBytesAreKept) {
    bytes link = full_link(0x30);
    link[0x14] |= 0x40;  // HasIconLocation
    link[0x17] = 0x80;   // a flag in the top byte
    link[0x20] = 0x99;   // a byte of the times
    EXPECT_EQ(lnk::drop_link_info(link), status::found);
    EXPECT_EQ(flags_of(link), (lnk::HAS_ID_LIST | HAS_NAME | IS_UNICODE | 0x40u | 0x80000000u));
    EXPECT_EQ(link[0x20], 0x99);
    EXPECT_EQ(link.size(), full_link(0x30).size() - 0x30);
}

}  // namespace

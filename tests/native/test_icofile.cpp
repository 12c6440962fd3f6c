// Icon file checks, the group icon directory built from an icon file, and the
// icon file image assembled from an icon group.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "formats/icofile.h"

namespace {

using bytes = std::vector<uint8_t>;

void le16(bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void le32(bytes& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
}

// The first eight bytes that an icon file entry and a group entry share.
struct look {
    uint8_t width, height, colours, reserved;
    uint16_t planes, bpp;
};
void put_look(bytes& b, const look& l) {
    b.push_back(l.width);
    b.push_back(l.height);
    b.push_back(l.colours);
    b.push_back(l.reserved);
    le16(b, l.planes);
    le16(b, l.bpp);
}

struct file_entry {
    look l;
    uint32_t length, offset;
};

// An icon file: header (type bytes 01 00), directory, then `tail` bytes.
bytes ico_file(uint16_t count, const std::vector<file_entry>& entries, const bytes& tail = {}) {
    bytes b = {0, 0, 1, 0};
    le16(b, count);
    for (const file_entry& e : entries) {
        put_look(b, e.l);
        le32(b, e.length);
        le32(b, e.offset);
    }
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

struct group_entry {
    look l;
    uint32_t length;
    uint16_t id;
};

bytes group(const std::vector<group_entry>& entries) {
    bytes b = {0, 0, 1, 0};
    le16(b, uint16_t(entries.size()));
    for (const group_entry& e : entries) {
        put_look(b, e.l);
        le32(b, e.length);
        le16(b, e.id);
    }
    return b;
}

// Holds an exact-size copy so that a read one byte past the end is caught.
struct exact {
    explicit exact(const bytes& b) : buf(b.begin(), b.end()) {}
    const uint8_t* data() const { return buf.data(); }
    uint64_t size() const { return buf.size(); }
    bytes buf;
};

ico::status check(const bytes& b) {
    exact e(b);
    return ico::file_view(e.data(), e.size()).state();
}

const look L16 = {16, 16, 0, 0, 1, 32};
const look L32 = {32, 32, 16, 0, 1, 4};
const look L256 = {0, 0, 0, 0, 1, 32};

}  // namespace

TEST(IcoFile, SignatureNeedsReservedZeroAndTypeOne) {
    EXPECT_EQ(check({0, 0, 1, 0, 0}), ico::status::not_ico);          // 5 bytes
    EXPECT_EQ(check({0, 0, 2, 0, 0, 0}), ico::status::not_ico);       // a cursor file
    EXPECT_EQ(check({1, 0, 1, 0, 0, 0}), ico::status::not_ico);
    EXPECT_EQ(check({0, 1, 1, 0, 0, 0}), ico::status::not_ico);
    EXPECT_EQ(check({0, 0, 1, 1, 0, 0}), ico::status::ok);            // byte 3 is not examined
    EXPECT_STREQ(ico::message(ico::status::not_ico), "icon file is not an .ico");
    EXPECT_EQ(ico::message(ico::status::ok), nullptr);
}

TEST(IcoFile, SixByteFileWithNoImagesGivesAnEmptyGroup) {
    exact e(ico_file(0, {}));
    ico::file_view v(e.data(), e.size());
    ASSERT_EQ(v.state(), ico::status::ok);
    EXPECT_EQ(v.count(), 0u);
    EXPECT_FALSE(v.image(1));
    EXPECT_EQ(v.group_dir(), (bytes{0, 0, 1, 0, 0, 0}));
}

TEST(IcoFile, DirectoryMustBeComplete) {
    bytes two = ico_file(2, {{L16, 0, 0}, {L16, 0, 0}});
    ASSERT_EQ(two.size(), 38u);
    EXPECT_EQ(check(two), ico::status::ok);
    two.pop_back();
    EXPECT_EQ(check(two), ico::status::truncated);
    EXPECT_STREQ(ico::message(ico::status::truncated), "icon file is truncated");
    EXPECT_EQ(check(ico_file(0xFFFF, {}, bytes(1000))), ico::status::truncated);

    // A file that failed a check offers nothing to write.
    exact e(two);
    ico::file_view v(e.data(), e.size());
    EXPECT_EQ(v.count(), 0u);
    EXPECT_FALSE(v.image(1));
    EXPECT_TRUE(v.group_dir().empty());
}

TEST(IcoFile, ImageRangeMayEndAtTheLastByteButNotBeyond) {
    // 6 + 32 bytes of directory, then 12 image bytes: 38..49.
    bytes tail = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    exact ok(ico_file(2, {{L16, 4, 38}, {L16, 8, 42}}, tail));
    ico::file_view v(ok.data(), ok.size());
    ASSERT_EQ(v.count(), 2u);
    auto second = v.image(2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->offset, 42u);
    EXPECT_EQ(second->length, 8u);
    EXPECT_EQ(bytes(second->bytes, second->bytes + second->length), bytes(tail.begin() + 4, tail.end()));

    exact past(ico_file(2, {{L16, 4, 38}, {L16, 9, 42}}, tail));
    ico::file_view w(past.data(), past.size());
    EXPECT_TRUE(w.image(1));  // entries before the bad one are fine on their own
    EXPECT_FALSE(w.image(2));
    EXPECT_STREQ(ico::OUT_OF_RANGE, "icon image out of range");

    // An empty image right at the end of the file is in range.
    exact empty(ico_file(1, {{L16, 0, 22}}));
    auto e = ico::file_view(empty.data(), empty.size()).image(1);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->length, 0u);

    // Indexes outside the directory have no image.
    EXPECT_FALSE(v.image(0));
    EXPECT_FALSE(v.image(3));
}

TEST(IcoFile, ImageRangeSumDoesNotWrap) {
    bytes tail(16);
    for (auto entry : {file_entry{L16, 2, 0xFFFFFFFF}, file_entry{L16, 0xFFFFFFFF, 1},
                       file_entry{L16, 0xFFFFFFFF, 0xFFFFFFFF}}) {
        exact e(ico_file(1, {entry}, tail));
        EXPECT_FALSE(ico::file_view(e.data(), e.size()).image(1));
    }
}

TEST(IcoFile, GroupDirectoryKeepsFileOrderAndNumbersFromOne) {
    // Images stored in reverse order in the file; the 256-pixel entry has width
    // and height 0, and the reserved byte is carried as it is.
    look odd = {48, 48, 0, 7, 1, 32};
    exact e(ico_file(4, {{L32, 3, 75}, {L256, 2, 73}, {odd, 0, 73}, {L16, 5, 68}}, bytes(10, 0xAA)));
    ico::file_view v(e.data(), e.size());
    ASSERT_EQ(v.state(), ico::status::ok);
    bytes expected = group({{L32, 3, 1}, {L256, 2, 2}, {odd, 0, 3}, {L16, 5, 4}});
    EXPECT_EQ(v.group_dir(), expected);
    EXPECT_EQ(v.group_dir().size(), 6u + 14 * 4);
}

namespace {

// A program's RT_ICON resources by id, with the ids asked for in order.
struct fake_exe {
    std::map<uint16_t, bytes> icons;
    std::vector<uint16_t> asked;
    ico::icon_lookup lookup() {
        return [this](uint16_t id) -> std::optional<ico::resource> {
            asked.push_back(id);
            auto it = icons.find(id);
            if (it == icons.end()) return std::nullopt;
            return ico::resource{it->second.data(), uint32_t(it->second.size())};
        };
    }
};

ico::group_status assemble(const bytes& grp, const ico::icon_lookup& lookup, bytes& out) {
    exact e(grp);
    return ico::file_from_group(e.data(), e.size(), lookup, out);
}

}  // namespace

TEST(IconFromGroup, ImagesFollowTheGroupOrderNotTheirIds) {
    fake_exe exe;
    exe.icons[3] = {0x31, 0x32};
    exe.icons[7] = {0x71, 0x72, 0x73};
    exe.icons[9] = {0x91};
    bytes out;
    // The length field of a group entry is not used; the resource size is.
    ASSERT_EQ(assemble(group({{L32, 999, 7}, {L16, 0, 3}, {L256, 1, 9}}), exe.lookup(), out),
              ico::group_status::ok);
    EXPECT_EQ(exe.asked, (std::vector<uint16_t>{7, 3, 9}));

    bytes tail = {0x71, 0x72, 0x73, 0x31, 0x32, 0x91};
    EXPECT_EQ(out, ico_file(3, {{L32, 3, 54}, {L16, 2, 57}, {L256, 1, 59}}, tail));

    // The result is a valid icon file whose group numbers the images 1 to 3.
    exact e(out);
    ico::file_view v(e.data(), e.size());
    ASSERT_EQ(v.count(), 3u);
    for (unsigned i = 1; i <= 3; i++) EXPECT_TRUE(v.image(i));
    EXPECT_EQ(v.group_dir(), group({{L32, 3, 1}, {L16, 2, 2}, {L256, 1, 3}}));
}

TEST(IconFromGroup, MissingImageHasLengthZeroAtTheRunningEnd) {
    fake_exe exe;
    exe.icons[1] = {1, 1, 1, 1};
    exe.icons[3] = {3, 3};
    bytes out;
    ASSERT_EQ(assemble(group({{L16, 0, 1}, {L32, 0, 2}, {L256, 0, 3}}), exe.lookup(), out),
              ico::group_status::ok);
    EXPECT_EQ(out, ico_file(3, {{L16, 4, 54}, {L32, 0, 58}, {L256, 2, 58}}, {1, 1, 1, 1, 3, 3}));
}

TEST(IconFromGroup, ResourceFoundButUnreadableCountsAsMissing) {
    bytes out;
    ico::icon_lookup unreadable = [](uint16_t) { return ico::resource{nullptr, 10}; };
    ASSERT_EQ(assemble(group({{L16, 0, 1}}), unreadable, out), ico::group_status::ok);
    EXPECT_EQ(out, ico_file(1, {{L16, 0, 22}}));
}

TEST(IconFromGroup, GroupLengthAndCountAreChecked) {
    fake_exe exe;
    exe.icons[1] = {9};
    bytes grp = group({{L16, 1, 1}, {L16, 1, 1}});
    ASSERT_EQ(grp.size(), 34u);
    bytes out;
    EXPECT_EQ(assemble(grp, exe.lookup(), out), ico::group_status::ok);
    EXPECT_EQ(out.size(), 6u + 32 + 2);

    grp.pop_back();
    EXPECT_EQ(assemble(grp, exe.lookup(), out), ico::group_status::bad_group);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(assemble({0, 0, 1, 0, 1}, exe.lookup(), out), ico::group_status::bad_group);
    EXPECT_EQ(assemble({0, 0, 1, 0, 0, 0, 0, 0}, exe.lookup(), out), ico::group_status::bad_group);
}

TEST(IconFromGroup, RefusesAnImageLargerThanTheLimit) {
    // One 1 MiB resource listed 65 times would need 65 MiB.
    fake_exe exe;
    exe.icons[1] = bytes(1 << 20, 0x55);
    std::vector<group_entry> entries(65, group_entry{L16, 0, 1});
    bytes out;
    EXPECT_EQ(assemble(group(entries), exe.lookup(), out), ico::group_status::too_large);
    EXPECT_TRUE(out.empty());
}

// Alcohol media descriptors: the first session's tracks in the .mdf, every
// field that points elsewhere in the file checked against its length.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "formats/mds.h"
#include "rip_files.h"

namespace {

struct mds_track {
    uint8_t mode, point;
    uint16_t size;
    uint32_t start;   // sector of INDEX 1
    uint64_t offset;  // in the .mdf
    uint32_t pregap, length;
};

// A descriptor laid out as Alcohol writes one: header, session, track blocks
// (three table entries and the tracks), an extra block per track, a name
// block, the name.
struct mds_recipe {
    std::vector<mds_track> tracks = {{0xAA, 1, 2352, 0, 0, 150, 1000}};
    std::string name = "*.mdf";
    bool wide = false;
    uint32_t files = 1;

    std::vector<uint8_t> bytes() const {
        const size_t tracks_at = 0x58 + 24, blocks = 3 + tracks.size();
        const size_t extra_at = tracks_at + blocks * 80, name_block_at = extra_at + 8 * tracks.size();
        const size_t name_at = name_block_at + 16;
        std::vector<uint8_t> b(name_at);
        memcpy(b.data(), "MEDIA DESCRIPTOR\x01\x03", 18);
        fmt::put_le16(&b[0x14], 1);
        fmt::put_le32(&b[0x50], 0x58);
        b[0x58 + 0x0A] = uint8_t(blocks);
        fmt::put_le32(&b[0x58 + 0x14], uint32_t(tracks_at));
        for (size_t i = 0; i < blocks; i++) {
            uint8_t* t = &b[tracks_at + i * 80];
            if (i < 3) {
                t[4] = uint8_t(0xA0 + i);
                continue;
            }
            const mds_track& k = tracks[i - 3];
            t[0] = k.mode;
            t[1] = k.size == 2448 ? 8 : 0;
            t[4] = k.point;
            fmt::put_le32(t + 0x0C, uint32_t(extra_at + 8 * (i - 3)));
            fmt::put_le16(t + 0x10, k.size);
            fmt::put_le32(t + 0x24, k.start);
            fmt::put_le32(t + 0x28, uint32_t(k.offset));
            fmt::put_le32(t + 0x2C, uint32_t(k.offset >> 32));
            fmt::put_le32(t + 0x30, files);
            fmt::put_le32(t + 0x34, uint32_t(name_block_at));
            fmt::put_le32(&b[extra_at + 8 * (i - 3)], k.pregap);
            fmt::put_le32(&b[extra_at + 8 * (i - 3) + 4], k.length);
        }
        fmt::put_le32(&b[name_block_at], uint32_t(name_at));
        b[name_block_at + 4] = wide;
        for (unsigned char c : name) {
            b.push_back(c);
            if (wide) b.push_back(0);
        }
        b.push_back(0);
        if (wide) b.push_back(0);
        return b;
    }
};

std::string disc_in(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> exact(bytes);  // exactly sized
    rip::disc_layout l;
    std::string why;
    const bool ok = mds::read_disc(exact.data(), exact.size(), &l, &why);
    return answer(ok, l, why);
}
std::string disc_in(const mds_recipe& r) { return disc_in(r.bytes()); }

mds_recipe with_tracks(std::vector<mds_track> tracks) {
    mds_recipe r;
    r.tracks = tracks;
    return r;
}

TEST(MdsDisc, TheDiscMakersFiles) {
    REQUIRE_RIPS();
    EXPECT_EQ(disc_in(rip_file("mds.mds")), "t1 gap x150 | t1 *.mdf@0 x26 2352/16; origin 1+0");
    EXPECT_EQ(disc_in(rip_file("mds-2448.mds")), "t1 gap x150 | t1 *.mdf@0 x26 2448/16; origin 1+0");
}

TEST(MdsDisc, UserDataOfEachModeAndSize) {
    // Form 1 and formless Mode 2 put user data behind the subheader, 8 bytes
    // after Mode 1's, raw or with subchannel; whatever the mode byte's high bits.
    const struct {
        uint8_t mode;
        uint16_t size;
        const char* want;
    } cases[] = {
        {0xAC, 2352, "2352/24"}, {0xEC, 2448, "2448/24"}, {0xAC, 2448, "2448/24"}, {0xAB, 2352, "2352/24"},
        {0xAA, 2352, "2352/16"}, {0xEA, 2448, "2448/16"}, {0xAB, 2336, "2336/8"},  {0xAC, 2048, "2048/0"},
        {0xAA, 2048, "2048/0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(disc_in(with_tracks({{c.mode, 1, c.size, 0, 0, 150, 10}})),
                  "t1 gap x150 | t1 *.mdf@0 x10 " + std::string(c.want) + "; origin 1+0")
            << int(c.mode) << " " << c.size;
}

TEST(MdsDisc, PregapsStoredWhereTheFileHasThem) {
    // A straight dump: track 2's pregap lies in the .mdf before its start offset.
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2352, 0, 0, 150, 1000}, {0xA9, 2, 2352, 1150, 1150 * 2352, 150, 300}})),
              "t1 gap x150 | t1 *.mdf@0 x1000 2352/16 | t2 *.mdf@2352000 x150 2352/- | "
              "t2 *.mdf@2704800 x300 2352/-; origin 1+0");
    // Track 2 right after track 1 in the file: its pregap is not stored.
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2352, 0, 0, 150, 1000}, {0xA9, 2, 2352, 1150, 1000 * 2352, 150, 300}})),
              "t1 gap x150 | t1 *.mdf@0 x1000 2352/16 | t2 gap x150 | t2 *.mdf@2352000 x300 2352/-; origin 1+0");
    // Audio first, in another order in the file's list; sectors no track claims between them.
    mds_recipe r = with_tracks({{0xEC, 3, 2448, 1700, 1600 * 2448, 150, 500}, {0xA9, 1, 2448, 0, 0, 150, 1000},
                                {0xA9, 2, 2448, 1100, 1000 * 2448, 0, 400}});
    rip::disc_layout l;
    std::string why;
    std::vector<uint8_t> b = r.bytes();
    ASSERT_TRUE(mds::read_disc(b.data(), b.size(), &l, &why)) << why;
    EXPECT_EQ(layout_text(l),
              "t1 gap x150 | t1 *.mdf@0 x1000 2448/- | t2 gap x100 | t2 *.mdf@2448000 x400 2448/- | "
              "t3 gap x50 | t3 *.mdf@3549600 x150 2448/24 | t3 *.mdf@3916800 x500 2448/24; origin 6+0");
    rip::disc_map map;
    ASSERT_TRUE(place_sized(l, {{"*.mdf", 2100 * 2448}}, &map, &why)) << why;
    EXPECT_EQ(sector_at(map, 0), "*.mdf@3916800+24");
    EXPECT_EQ(sector_at(map, 499), "*.mdf@5138352+24");
}

TEST(MdsDisc, PositionsAndLengthsAtTheirBounds) {
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 99, 2048, 449849, 0, 0, 449999}})), "t99 *.mdf@0 x449999 2048/0; origin 0+0");
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2048, 449850, 0, 0, 1}})),
              "! is damaged: track 1 lies beyond the end of a CD");
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2048, 0, 0, 0, 450000}})),
              "! is damaged: track 1 lies beyond the end of a CD");
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2048, 0, 0, 450000, 1}})),
              "! is damaged: track 1 lies beyond the end of a CD");
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2048, 0, uint64_t(1) << 48, 0, 1}})),
              "t1 *.mdf@281474976710656 x1 2048/0; origin 0+0");
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2048, 0, (uint64_t(1) << 48) + 1, 0, 1}})),
              "! is damaged: track 1 lies beyond the end of a CD");
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 100, 2048, 0, 0, 0, 1}})), "! has no data track (an audio CD?)")
        << "point 100 is no track";
}

TEST(MdsDisc, EveryTruncationFails) {
    std::vector<uint8_t> b = mds_recipe().bytes();
    for (size_t n = 0; n < b.size(); n++)
        EXPECT_EQ(disc_in(std::vector<uint8_t>(b.begin(), b.begin() + n))[0], '!') << n;
}

TEST(MdsDisc, PointersOutsideAndOddFields) {
    const std::vector<uint8_t> good = mds_recipe().bytes();
    const size_t track = 0x70 + 3 * 80;
    auto with = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        fmt::put_le32(&b[at], v);
        return disc_in(b);
    };
    EXPECT_EQ(with(0x50, uint32_t(good.size() - 10)), "! is damaged: its session lies outside the file");
    EXPECT_EQ(with(0x50, 0xFFFFFFF0u), "! is damaged: its session lies outside the file");
    EXPECT_EQ(with(0x58 + 0x14, uint32_t(good.size() - 80)), "! is damaged: its track list lies outside the file");
    EXPECT_EQ(with(track + 0x0C, uint32_t(good.size() - 7)),
              "! is damaged: the length of track 1 lies outside the file");
    EXPECT_EQ(with(track + 0x0C, 0), "! is damaged: the length of track 1 lies outside the file");
    EXPECT_EQ(with(track + 0x34, uint32_t(good.size() - 8)),
              "! is damaged: the file name of track 1 lies outside the file or is no name");
    EXPECT_EQ(with(track + 0x30, 0), "! is damaged: track 1 is in no file");
    EXPECT_EQ(with(track + 0x30, 2), "! splits track 1 over several files, which this setup does not read");
    std::vector<uint8_t> b = good;
    b.pop_back();  // the name's terminator
    EXPECT_EQ(disc_in(b), "! is damaged: the file name of track 1 lies outside the file or is no name");
    b = good;
    b[5] = 'X';
    EXPECT_EQ(disc_in(b), "! is not an Alcohol descriptor: it lacks the MEDIA DESCRIPTOR signature");
    b = good;
    fmt::put_le16(&b[0x14], 0);
    EXPECT_EQ(disc_in(b), "! is damaged: it lists no session");

    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2340, 0, 0, 150, 10}})),
              "! is damaged: track 1 has sectors of 2340 bytes");
    EXPECT_EQ(disc_in(with_tracks({{0xA9, 1, 2352, 0, 0, 150, 10}, {0xAD, 2, 2352, 10, 23520, 0, 10}})),
              "! has no data track (an audio CD?)");
    EXPECT_EQ(disc_in(with_tracks({{0xA9, 1, 2352, 0, 0, 150, 10}, {0xAA, 1, 2352, 10, 23520, 0, 10}})),
              "! is damaged: track 1 is listed twice");
    EXPECT_EQ(disc_in(with_tracks({{0xA9, 1, 2352, 0, 0, 150, 10}, {0xAA, 2, 2352, 159, 23520, 150, 10}})),
              "! is damaged: track 2 starts before track 1 ends");
    EXPECT_EQ(disc_in(with_tracks({{0xAA, 1, 2352, 0, 0, 150, 0}, {0xAA, 2, 2352, 0, 0, 0, 10}})),
              "! is damaged: its data track, track 1, holds no sectors")
        << "not the next data track instead";
    mds_recipe r;
    r.name = std::string(260, 'n');
    EXPECT_EQ(disc_in(r)[0], '!');
    r.name = std::string(259, 'n');
    EXPECT_EQ(disc_in(r), "t1 gap x150 | t1 " + r.name + "@0 x1000 2352/16; origin 1+0");
    r.name = "";
    EXPECT_EQ(disc_in(r)[0], '!');
    r.name = "x\xe4.mdf";  // one 16-bit unit each, U+00E4 as UTF-8
    r.wide = true;
    EXPECT_EQ(disc_in(r), "t1 gap x150 | t1 x\xc3\xa4.mdf@0 x1000 2352/16; origin 1+0");
    r.name = "ab";
    b = r.bytes();
    b[b.size() - 6] = 0x00;  // the first unit becomes U+D800, half a pair
    b[b.size() - 5] = 0xD8;
    EXPECT_EQ(disc_in(b)[0], '!');
}

}  // namespace

// Alcohol media descriptors: the first data track, every field that points
// elsewhere in the file checked against its length.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/bytes.h"
#include "formats/mds.h"
#include "rip_files.h"

namespace {

// A descriptor laid out as Alcohol writes one: header, session, track blocks
// (three table entries and the tracks), an extra block, a name block, the name.
struct mds_recipe {
    std::vector<std::pair<uint8_t, uint8_t>> tracks = {{0xAA, 1}};  // mode byte, point
    uint16_t sector_size = 2352;
    uint64_t start_offset = 0;
    std::string name = "*.mdf";
    bool wide = false;
    uint32_t files = 1;

    std::vector<uint8_t> bytes() const {
        const size_t tracks_at = 0x58 + 24, blocks = 3 + tracks.size();
        const size_t name_block_at = tracks_at + blocks * 80, name_at = name_block_at + 16;
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
            t[0] = tracks[i - 3].first;
            t[4] = tracks[i - 3].second;
            fmt::put_le16(t + 0x10, sector_size);
            fmt::put_le32(t + 0x28, uint32_t(start_offset));
            fmt::put_le32(t + 0x2C, uint32_t(start_offset >> 32));
            fmt::put_le32(t + 0x30, files);
            fmt::put_le32(t + 0x34, uint32_t(name_block_at));
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

std::string track_in(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> exact(bytes);  // exactly sized
    rip::data_track t;
    return mds::first_data_track(exact.data(), exact.size(), &t) ? where(t) : "-";
}

TEST(MdsDataTrack, TheDiscMakersFiles) {
    REQUIRE_RIPS();
    EXPECT_EQ(track_in(rip_file("mds.mds")), "*.mdf @0 2352/16");
    EXPECT_EQ(track_in(rip_file("mds-2448.mds")), "*.mdf @0 2448/16");
}

TEST(MdsDataTrack, ModesSizesNamesAndOffsets) {
    mds_recipe r;
    EXPECT_EQ(track_in(r.bytes()), "*.mdf @0 2352/16");
    r.tracks = {{0xA9, 1}, {0xAC, 3}, {0xAB, 2}};  // audio, then the lowest data track wins
    r.sector_size = 2336;
    r.start_offset = 0x123456789ull;
    r.name = "game.mdf";
    EXPECT_EQ(track_in(r.bytes()), "game.mdf @4886718345 2336/8");
    r.tracks = {{0xEC, 1}};  // Form 1 with the high bits another writer sets
    r.sector_size = 2048;
    r.name = "x\xe4.mdf";  // one 16-bit unit each, U+00E4 as UTF-8
    r.wide = true;
    std::vector<uint8_t> b = r.bytes();
    EXPECT_EQ(track_in(b), "x\xc3\xa4.mdf @4886718345 2048/0");
}

TEST(MdsDataTrack, EveryTruncationFails) {
    std::vector<uint8_t> b = mds_recipe().bytes();
    for (size_t n = 0; n < b.size(); n++)
        EXPECT_EQ(track_in(std::vector<uint8_t>(b.begin(), b.begin() + n)), "-") << n;
}

TEST(MdsDataTrack, PointersOutsideAndOddFields) {
    const std::vector<uint8_t> good = mds_recipe().bytes();
    const size_t track = 0x70 + 3 * 80;
    auto with = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        fmt::put_le32(&b[at], v);
        return track_in(b);
    };
    EXPECT_EQ(with(0x50, uint32_t(good.size() - 10)), "-") << "session past the end";
    EXPECT_EQ(with(0x50, 0xFFFFFFF0u), "-");
    EXPECT_EQ(with(0x58 + 0x14, uint32_t(good.size() - 80)), "-") << "track blocks past the end";
    EXPECT_EQ(with(track + 0x34, uint32_t(good.size() - 8)), "-") << "name block past the end";
    EXPECT_EQ(with(track + 0x34 - 4, 0), "-") << "no files";
    EXPECT_EQ(with(track + 0x34 + 0, uint32_t(track)), "-") << "a name block that is no name block";
    std::vector<uint8_t> b = good;
    b.pop_back();  // the name's terminator
    EXPECT_EQ(track_in(b), "-") << "unterminated name";
    b = good;
    b[5] = 'X';
    EXPECT_EQ(track_in(b), "-") << "signature";
    b = good;
    fmt::put_le16(&b[0x14], 0);
    EXPECT_EQ(track_in(b), "-") << "no sessions";

    mds_recipe r;
    r.sector_size = 2340;
    EXPECT_EQ(track_in(r.bytes()), "-");
    r = mds_recipe();
    r.tracks = {{0xA9, 1}, {0xAD, 2}};  // audio and Form 2 only
    EXPECT_EQ(track_in(r.bytes()), "-");
    r.tracks = {{0xAA, 0}, {0xAA, 100}};  // no track numbers
    EXPECT_EQ(track_in(r.bytes()), "-");
    r = mds_recipe();
    r.name = std::string(260, 'n');
    EXPECT_EQ(track_in(r.bytes()), "-");
    r.name = "";
    EXPECT_EQ(track_in(r.bytes()), "-");
    r.name = "ab";
    r.wide = true;
    b = r.bytes();
    b[b.size() - 6] = 0x00;  // the first unit becomes U+D800, half a pair
    b[b.size() - 5] = 0xD8;
    EXPECT_EQ(track_in(b), "-");
}

}  // namespace

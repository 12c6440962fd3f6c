// Placing a layout's pieces as runs of volume sectors: from the origin on,
// stored, not stored or past the end of their file, within the bounds.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "formats/disc_map.h"
#include "rip_files.h"

namespace {

TEST(UserDataOffset, EachSectorSize) {
    EXPECT_EQ(rip::user_data_offset(2048, false), 0u);
    EXPECT_EQ(rip::user_data_offset(2048, true), 0u);
    EXPECT_EQ(rip::user_data_offset(2336, true), 8u);
    EXPECT_EQ(rip::user_data_offset(2352, false), 16u);
    EXPECT_EQ(rip::user_data_offset(2352, true), 24u);
    EXPECT_EQ(rip::user_data_offset(2448, false), 16u);
    EXPECT_EQ(rip::user_data_offset(2448, true), 24u);
    for (uint32_t other : {0u, 2324u, 2340u, 2144u, 4096u})
        EXPECT_EQ(rip::user_data_offset(other, false), rip::NO_LAYOUT) << other;
}

rip::piece stored(unsigned track, const std::string& file, uint64_t offset, uint64_t sectors, uint32_t size = 2352,
                  uint32_t data = 16) {
    rip::piece p;
    p.track = track;
    p.file = file;
    p.offset = offset;
    p.sectors = sectors;
    p.sector_size = size;
    p.data_offset = data;
    return p;
}

rip::piece gap(unsigned track, uint64_t sectors) {
    rip::piece p = stored(track, "", 0, sectors);
    p.stored = false;
    return p;
}

// The runs of a map: "first+count:what" with what the file@offset, "gap" or "end".
std::string runs(const rip::disc_map& m) {
    std::string s;
    for (const rip::run& r : m.runs) {
        s += (s.empty() ? "" : " ") + std::to_string(r.first) + "+" + std::to_string(r.count) + ":";
        s += r.what == rip::held::not_stored
                 ? "gap"
                 : (r.what == rip::held::past_the_end ? "end:" : "") + m.files[r.file] + "@" + std::to_string(r.offset);
    }
    return s;
}

TEST(Place, FromTheOriginOnWithGapsAndShortFiles) {
    rip::disc_layout l;
    l.pieces = {stored(1, "a.bin", 0, 100, 2352, rip::NO_LAYOUT), gap(2, 150), stored(2, "d.bin", 4704, 10),
                gap(2, 5), stored(3, "d.bin", 4704 + 10 * 2352, rip::TO_FILE_END)};
    l.origin_piece = 2;
    l.origin_sector = 3;
    rip::disc_map m;
    std::string why;
    // d.bin holds 12 whole sectors after its 4704 bytes, and the user data of a 13th.
    const uint64_t d_size = 4704 + 12 * 2352 + 16 + 2048;
    ASSERT_TRUE(place_sized(l, {{"d.bin", d_size}}, &m, &why)) << why << ": a.bin lies before the origin, unread";
    EXPECT_EQ(runs(m), "0+7:d.bin@11760 7+5:gap 12+3:d.bin@28224");
    EXPECT_EQ(m.sectors(), 15u);
    EXPECT_EQ(sector_at(m, 0), "d.bin@11760+16");
    EXPECT_EQ(sector_at(m, 14), "d.bin@32928+16");
    EXPECT_EQ(sector_at(m, 15), "none");

    // Declared longer than the file: the rest is past the end, at its own offset.
    l.pieces[4].sectors = 5;
    ASSERT_TRUE(place_sized(l, {{"d.bin", d_size}}, &m, &why)) << why;
    EXPECT_EQ(runs(m), "0+7:d.bin@11760 7+5:gap 12+3:d.bin@28224 15+2:end:d.bin@35280");
    // Audio needs whole sectors: one byte short, the last is past the end.
    l.pieces[4].data_offset = rip::NO_LAYOUT;
    ASSERT_TRUE(place_sized(l, {{"d.bin", 4704 + 13 * 2352 - 1}}, &m, &why)) << why;
    EXPECT_EQ(runs(m), "0+7:d.bin@11760 7+5:gap 12+2:d.bin@28224 14+3:end:d.bin@32928");
}

// Only the data track's file must be there: a track file after it that is
// missing holds no sector, and one of open length ends the map.
TEST(Place, MissingFilesAfterTheDataTrack) {
    rip::disc_layout l;
    l.pieces = {stored(1, "d.bin", 0, 10), gap(2, 150), stored(2, "a2.bin", 0, 300, 2352, rip::NO_LAYOUT),
                stored(3, "d3.bin", 0, 20), stored(4, "a4.bin", 0, rip::TO_FILE_END, 2352, rip::NO_LAYOUT),
                stored(5, "d5.bin", 0, 7)};
    rip::disc_map m;
    std::string why;
    ASSERT_TRUE(place_sized(l, {{"d.bin", 10 * 2352}, {"d3.bin", 20 * 2352}, {"d5.bin", 7 * 2352}}, &m, &why))
        << why;
    EXPECT_EQ(runs(m), "0+10:d.bin@0 10+150:gap 160+300:end:a2.bin@0 460+20:d3.bin@0");
    EXPECT_FALSE(place_sized(l, {{"a2.bin", 0}}, &m, &why)) << "without the data track's own file";
    EXPECT_EQ(why, "names d.bin, which is not there");
}

TEST(Place, OriginAndCountsOutOfBounds) {
    rip::disc_layout l;
    l.pieces = {stored(1, "d.bin", 0, 10)};
    rip::disc_map m;
    std::string why;
    l.origin_sector = 9;
    EXPECT_TRUE(place_sized(l, {{"d.bin", 0}}, &m, &why)) << "the last sector of the piece";
    EXPECT_EQ(runs(m), "0+1:end:d.bin@21168");
    l.origin_sector = 10;
    EXPECT_FALSE(place_sized(l, {{"d.bin", 0}}, &m, &why));
    EXPECT_EQ(why, "places its data track outside its sectors");
    l.origin_sector = 0;
    l.origin_piece = 1;
    EXPECT_FALSE(place_sized(l, {{"d.bin", 0}}, &m, &why));
    EXPECT_EQ(why, "does not say where its data track starts");

    l.origin_piece = 0;
    l.pieces.push_back(gap(2, rip::TO_FILE_END));
    EXPECT_FALSE(place_sized(l, {{"d.bin", 0}}, &m, &why));
    EXPECT_EQ(why, "leaves the length of a gap open");
    l.pieces.back().sectors = rip::MAX_VOLUME_SECTORS - 10;
    EXPECT_TRUE(place_sized(l, {{"d.bin", 0}}, &m, &why)) << "exactly 2^32 sectors";
    EXPECT_EQ(m.sectors(), rip::MAX_VOLUME_SECTORS);
    l.pieces.back().sectors++;
    EXPECT_FALSE(place_sized(l, {{"d.bin", 0}}, &m, &why));
    EXPECT_EQ(why, "describes more sectors than a disc can number");
    l.pieces.back().sectors = 1;
    EXPECT_FALSE(place_sized(l, {}, &m, &why));
    EXPECT_EQ(why, "names d.bin, which is not there");
}

TEST(AddPiece, EmptyPiecesLeftOutAndTheCountBounded) {
    rip::disc_layout l;
    std::string why;
    EXPECT_TRUE(rip::add_piece(&l, gap(1, 0), &why));
    EXPECT_TRUE(l.pieces.empty());
    for (size_t i = 0; i < rip::MAX_PIECES; i++) ASSERT_TRUE(rip::add_piece(&l, gap(1, 1), &why)) << i;
    EXPECT_FALSE(rip::add_piece(&l, gap(1, 1), &why));
    EXPECT_EQ(l.pieces.size(), rip::MAX_PIECES);
    EXPECT_EQ(why, "is damaged: it describes more pieces of tracks than a CD can hold");
}

}  // namespace

// CloneCD control files: the first session's tracks in the .img, which holds
// every sector from address 0 on, later tracks' pregaps included.
#include <gtest/gtest.h>

#include <string>

#include "formats/ccd.h"
#include "rip_files.h"

namespace {

std::string disc_in(const std::string& text) {
    std::string buf = text;
    rip::disc_layout l;
    std::string why;
    const bool ok = ccd::read_disc(buf.data(), buf.size(), &l, &why);
    return answer(ok, l, why);
}

const std::string head = "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=4\r\n";  // four lines

TEST(CcdDisc, TheDiscMakersFiles) {
    REQUIRE_RIPS();
    // The lead-out entry (point 0xA2) ends the only track.
    EXPECT_EQ(disc_in(rip_text("ccd.ccd")), "t1 *.img@0 x26 2352/16; origin 0+0");
    EXPECT_EQ(disc_in(rip_text("ccd-m2.ccd")), "t1 *.img@0 x26 2352/24; origin 0+0");
}

TEST(CcdDisc, TracksFromTheirFirstIndex) {
    EXPECT_EQ(disc_in(head + "[TRACK 1]\nMODE=1\nINDEX 1=0\n[TRACK 2]\nMODE=0\nINDEX 0=1000\nINDEX 1=1150\n"
                             "[TRACK 3]\nMODE=0\nINDEX 1=2000\n"),
              "t1 *.img@0 x1000 2352/16 | t2 *.img@2352000 x1000 2352/- | t3 *.img@4704000 x* 2352/-; origin 0+0");
    // Audio first: the volume starts at the data track's INDEX 1, after its stored pregap.
    rip::disc_layout l;
    std::string why;
    const std::string text = head + "[TRACK 2]\nmode = 2\nINDEX 0=1000\nINDEX 1=1150\n[track 1]\nMODE=0\nINDEX 1=0\n";
    ASSERT_TRUE(ccd::read_disc(text.data(), text.size(), &l, &why)) << why;
    EXPECT_EQ(layout_text(l), "t1 *.img@0 x1000 2352/- | t2 *.img@2352000 x* 2352/24; origin 1+150");
    rip::disc_map map;
    ASSERT_TRUE(place_sized(l, {{"*.img", 1200 * 2352}}, &map, &why)) << why;
    EXPECT_EQ(sector_at(map, 0), "*.img@2704800+24");
    EXPECT_EQ(sector_at(map, 49), "*.img@2820048+24");
    EXPECT_EQ(sector_at(map, 50), "none");
}

TEST(CcdDisc, OnlyTheFirstSessionUpToItsLeadOut) {
    const std::string entries =
        "[Entry 0]\nSession=1\nPoint=0xa2\nPLBA=5000\n[Entry 1]\nSession=1\nPoint=0x01\nPLBA=0\n"
        "[Entry 2]\nSession=2\nPoint=0x02\nPLBA=16400\n[Entry 3]\nSession=2\nPoint=0xa2\nPLBA=20000\n";
    EXPECT_EQ(disc_in(head + entries + "[TRACK 1]\nMODE=1\nINDEX 1=0\n[TRACK 2]\nMODE=1\nINDEX 1=16400\n"),
              "t1 *.img@0 x5000 2352/16; origin 0+0");
    EXPECT_EQ(disc_in(head + entries + "[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=1\nINDEX 1=16400\n"),
              "! has no data track (an audio CD?)")
        << "the data track of the second session is not the first session's";
}

TEST(CcdDisc, AddressesAtTheirBounds) {
    EXPECT_EQ(disc_in(head + "[TRACK 99]\nMODE=1\nINDEX 1=449849\n"), "t99 *.img@0 x* 2352/16; origin 0+449849");
    EXPECT_EQ(disc_in(head + "[TRACK 1]\nMODE=1\nINDEX 1=449850\n"),
              "! is damaged at line 7: 449850 is no sector address of a CD (0 to 449849)");
    EXPECT_EQ(disc_in(head + "[TRACK 100]\nMODE=1\nINDEX 1=0\n"),
              "! is damaged at line 5: [TRACK 100] is not a track 1 to 99");
    EXPECT_EQ(disc_in(head + "[TRACK 0]\nMODE=1\nINDEX 1=0\n"),
              "! is damaged at line 5: [TRACK 0] is not a track 1 to 99");
    const std::string track = "[TRACK 1]\nMODE=1\nINDEX 1=0\n";
    EXPECT_EQ(disc_in(head + "[Entry 0]\nSession=1\nPoint=162\nPLBA=449850\n" + track),
              "t1 *.img@0 x449850 2352/16; origin 0+0");
    EXPECT_EQ(disc_in(head + "[Entry 0]\nSession=1\nPoint=0xA2\nPLBA=449851\n" + track),
              "! is damaged: its lead-out address 449851 is no address on a CD");
}

TEST(CcdDisc, MalformedOrNoDataTrack) {
    const std::pair<std::string, std::string> bad[] = {
        {"", "! is not a CloneCD control file: it has no [CloneCD] section"},
        {"[TRACK 1]\nMODE=1\nINDEX 1=0\n", "! is not a CloneCD control file: it has no [CloneCD] section"},
        {head + "[TRACK 1]\nMODE=0\nINDEX 1=0\n", "! has no data track (an audio CD?)"},
        {head + "[TRACK 1]\nMODE=3\nINDEX 1=0\n", "! has no data track (an audio CD?)"},
        {head + "[TRACK 1]\nMODE=1\n", "! is damaged at line 5: track 1 has no INDEX 1"},
        {head + "[TRACK 1]\nMODE=1\nINDEX 1=-5\n",
         "! is damaged at line 7: -5 is no sector address of a CD (0 to 449849)"},
        {head + "[TRACK 1]\nMODE=1\nINDEX 1=0x10\n",
         "! is damaged at line 7: 0x10 is no sector address of a CD (0 to 449849)"},
        {head + "[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 1]\nMODE=1\nINDEX 1=0\n",
         "! is damaged at line 8: [TRACK 1] comes twice"},
        {head + "[TRACK 1]\nMODE=1\nINDEX 0=10\nINDEX 1=5\n",
         "! is damaged at line 5: track 1 has its INDEX 0 after its INDEX 1"},
        {head + "[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=1\nINDEX 1=0\n",
         "! is damaged at line 8: track 2 does not start after track 1"},
        {head + "[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=1\nINDEX 0=100\nINDEX 1=300\n[TRACK 3]\nINDEX "
                "0=120\nINDEX 1=400\n",
         "! is damaged at line 12: track 3 does not start after track 2"},
        {head + "[Entry 0]\nSession=1\nPoint=0xa2\nPLBA=100\n[TRACK 1]\nMODE=1\nINDEX 1=100\n",
         "! is damaged: its lead-out lies before the end of track 1"},
    };
    for (const auto& c : bad) EXPECT_EQ(disc_in(c.first), c.second) << c.first;
    EXPECT_EQ(disc_in(head + std::string("[TRACK 1]\nMODE=1\0\nINDEX 1=0\n", 26)),
              "! is damaged at line 5: track 1 has no INDEX 1")
        << "the text ends at a zero byte";
}

}  // namespace

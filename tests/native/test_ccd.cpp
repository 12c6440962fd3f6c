// CloneCD control files: the first data track, and the files that say none.
#include <gtest/gtest.h>

#include <string>

#include "formats/ccd.h"
#include "rip_files.h"

namespace {

std::string track_in(const std::string& text) {
    std::string buf = text;
    rip::data_track t;
    return ccd::first_data_track(buf.data(), buf.size(), &t) ? where(t) : "-";
}

const std::string head = "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=4\r\n";

TEST(CcdDataTrack, TheDiscMakersFiles) {
    REQUIRE_RIPS();
    auto m1 = rip_file("ccd.ccd"), m2 = rip_file("ccd-m2.ccd");
    EXPECT_EQ(track_in(std::string(m1.begin(), m1.end())), "*.img @0 2352/16");
    EXPECT_EQ(track_in(std::string(m2.begin(), m2.end())), "*.img @0 2352/24");
}

TEST(CcdDataTrack, FirstDataSectionInFileOrder) {
    EXPECT_EQ(track_in(head + "[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=1\nINDEX 0=1000\nINDEX 1=1150\n"),
              "*.img @" + std::to_string(1150 * 2352) + " 2352/16");
    EXPECT_EQ(track_in(head + "[track 1]\n  mode = 2 \n index 1 = 0\n[Entry 9]\nMODE=1\n"), "*.img @0 2352/24")
        << "any case and spacing; keys of other sections do not count";
    EXPECT_EQ(track_in(head + "[TRACK 1]\nINDEX 1=449999\nMODE=1"), "*.img @" + std::to_string(449999ull * 2352) + " 2352/16");
}

TEST(CcdDataTrack, MalformedOrNoDataTrack) {
    const std::string bad[] = {
        "",
        "[TRACK 1]\nMODE=1\nINDEX 1=0\n",                          // not a CloneCD file
        head + "[TRACK 1]\nMODE=0\nINDEX 1=0\n",                   // audio only
        head + "[TRACK 1]\nMODE=1\n",                              // no INDEX 1
        head + "[TRACK 1]\nMODE=1\nINDEX 1=-5\n",
        head + "[TRACK 1]\nMODE=1\nINDEX 1=0x10\n",
        head + "[TRACK 1]\nMODE=1\nINDEX 1=450001\n",              // past 100 minutes
        head + "[TRACK 1]\nMODE=1\nINDEX 1=99999999999999999999\n",
        head + "[TRACK 0]\nMODE=1\nINDEX 1=0\n",
        head + "[TRACK 100]\nMODE=1\nINDEX 1=0\n",
        head + "[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 1]\nMODE=1\nINDEX 1=0\n",  // repeated
        head + "[TRACK 1]\nMODE=1\nINDEX 1=zero\n[TRACK 2]\nMODE=1\nINDEX 1=0\n",  // a broken data track ends it
        head + "[TRACK 1]\nMODE=3\nINDEX 1=0\n",
    };
    for (const std::string& text : bad) EXPECT_EQ(track_in(text), "-") << text;
    EXPECT_EQ(track_in(head + std::string("[TRACK 1]\nMODE=1\0\nINDEX 1=0\n", 26)), "-") << "ends at a zero byte";
}

}  // namespace

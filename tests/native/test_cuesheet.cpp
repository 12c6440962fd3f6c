// The image name in a cue sheet and the path built from it.
#include <gtest/gtest.h>

#include <string>

#include "formats/cuesheet.h"
#include "rip_files.h"

namespace {

// The name found in text (exactly sized, no terminator), or "-" for none.
std::string name_in(const std::string& text) {
    std::string buf = text, name;
    if (!cue::image_name(buf.data(), buf.size(), &name)) return "-";
    return name;
}

TEST(CueImageName, FirstQuotedNameAfterTheFirstFile) {
    EXPECT_EQ(name_in("FILE \"game.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n"),
              "game.bin");
    EXPECT_EQ(name_in("REM \"x.bin\"\nFILE \"a b.bin\" BINARY\nFILE \"second.bin\" BINARY\n"), "a b.bin");
    EXPECT_EQ(name_in("FILE \"E:\\other\\game.bin\" MOTOROLA"), "E:\\other\\game.bin");
    EXPECT_EQ(name_in("FILE \"\" BINARY"), "");
    // The quotes need not be on the FILE line, and FILE may be inside a word.
    EXPECT_EQ(name_in("FILE disc.bin BINARY\nTITLE \"disc.bin\"\n"), "disc.bin");
    EXPECT_EQ(name_in("REM PROFILE \"x.bin\""), "x.bin");
    EXPECT_EQ(name_in("FILE\"tight.bin\"BINARY"), "tight.bin");
}

TEST(CueImageName, NoNameWithoutFileOrBothQuotes) {
    EXPECT_EQ(name_in(""), "-");
    EXPECT_EQ(name_in("TRACK 01 MODE1/2352\nTITLE \"disc.bin\"\n"), "-");
    EXPECT_EQ(name_in("file \"disc.bin\" BINARY"), "-") << "case exact";
    EXPECT_EQ(name_in("\"disc.bin\" FILE"), "-");
    EXPECT_EQ(name_in("FILE disc.bin BINARY"), "-");
    EXPECT_EQ(name_in("FILE \"disc.bin BINARY"), "-");
    EXPECT_EQ(name_in("FIL"), "-");
}

TEST(CueImageName, TextEndsAtTheFirstZeroByte) {
    EXPECT_EQ(name_in(std::string("FILE \"a.bin\"\0FILE \"b.bin\"", 26)), "a.bin");
    EXPECT_EQ(name_in(std::string("REM\0FILE \"b.bin\" BINARY", 24)), "-");
    EXPECT_EQ(name_in(std::string("FILE \"a\0b.bin\" BINARY", 21)), "-");
    EXPECT_EQ(name_in(std::string("FI\0LE \"a.bin\"", 13)), "-");
}

TEST(CueImagePath, RelativeNamesSitNextToTheSheet) {
    EXPECT_EQ(cue::image_path("C:\\img\\game.cue", "game.bin"), "C:\\img\\game.bin");
    EXPECT_EQ(cue::image_path("C:\\img\\game.cue", "sub\\game.bin"), "C:\\img\\sub\\game.bin");
    EXPECT_EQ(cue::image_path("D:\\game.cue", "game.bin"), "D:\\game.bin");
    EXPECT_EQ(cue::image_path("game.cue", "game.bin"), "game.bin") << "no folder";
    EXPECT_EQ(cue::image_path("C:/img/game.cue", "game.bin"), "game.bin") << "only a backslash ends the folder";
    EXPECT_EQ(cue::image_path("C:\\img/x\\game.cue", "game.bin"), "C:\\img/x\\game.bin");
    // A colon anywhere makes the name absolute.
    EXPECT_EQ(cue::image_path("C:\\img\\game.cue", "E:\\other\\game.bin"), "E:\\other\\game.bin");
    EXPECT_EQ(cue::image_path("C:\\img\\game.cue", "odd:name.bin"), "odd:name.bin");
    // One leading separator: the sheet's folder, not the root of the current drive.
    EXPECT_EQ(cue::image_path("C:\\img\\game.cue", "\\disc2.bin"), "C:\\img\\disc2.bin");
    EXPECT_EQ(cue::image_path("C:\\img\\game.cue", "/sub\\disc2.bin"), "C:\\img\\sub\\disc2.bin");
    EXPECT_EQ(cue::image_path("game.cue", "\\disc2.bin"), "disc2.bin");
    EXPECT_EQ(cue::image_path("C:\\img\\game.cue", "\\\\server\\x.bin"), "C:\\img\\\\\\server\\x.bin")
        << "two stay (and safe_name refuses them)";
}

TEST(CueImagePath, CutTo519Characters) {
    std::string folder = "C:\\" + std::string(300, 'd') + "\\";
    std::string got = cue::image_path(folder + "game.cue", std::string(300, 'n'));
    EXPECT_EQ(got.size(), 519u);
    EXPECT_EQ(got, (folder + std::string(300, 'n')).substr(0, 519));
    std::string absolute = "E:\\" + std::string(600, 'a');
    EXPECT_EQ(cue::image_path("x.cue", absolute), absolute.substr(0, 519));
    std::string fits = "E:\\" + std::string(516, 'a');
    EXPECT_EQ(cue::image_path("x.cue", fits), fits);
}

}  // namespace

namespace {

// The first data track of a sheet, or "-" when there is none.
std::string track_in(const std::string& text) {
    std::string buf = text;
    rip::data_track t;
    if (!cue::first_data_track(buf.data(), buf.size(), &t)) return "-";
    return where(t);
}

TEST(CueDataTrack, TheDiscMakersSheets) {
    REQUIRE_RIPS();
    struct {
        const char* sheet;
        std::string want;
    } cases[] = {{"cue-multi.cue", "cue-multi.bin @0 2352/16"},
                 {"cue-split.cue", "cue-split (Track 1).bin @0 2352/24"},
                 {"cue-2048.cue", "cue-2048 (Track 1).bin @0 2048/0"},
                 {"cue-2336.cue", "cue-2336 (Track 1).bin @0 2336/8"}};
    for (auto& c : cases) {
        auto bytes = rip_file(c.sheet);
        ASSERT_FALSE(bytes.empty()) << c.sheet;
        EXPECT_EQ(track_in(std::string(bytes.begin(), bytes.end())), c.want) << c.sheet;
    }
}

TEST(CueDataTrack, PositionsCountEarlierTracksAtTheirOwnSize) {
    EXPECT_EQ(track_in("FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 00 00:00:00\n  INDEX 01 00:02:00\n"),
              "d.bin @352800 2352/16") << "a pregap in the file";
    EXPECT_EQ(track_in("FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                       " TRACK 02 MODE2/2336\n  INDEX 00 00:10:00\n  INDEX 01 00:12:00\n"),
              "a.bin @" + std::to_string(750 * 2352 + 150 * 2336) + " 2336/8");
    EXPECT_EQ(track_in("FILE \"a.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                       "FILE \"d.iso\" BINARY\n TRACK 02 MODE1/2048\n  INDEX 01 00:00:00\n"),
              "d.iso @0 2048/0") << "positions start again in each file";
    EXPECT_EQ(track_in("file d.bin binary\r\ntrack 1 mode2/2352\r\nindex 1 00:00:00\r\n"), "d.bin @0 2352/24")
        << "any case, unquoted name, one-digit numbers";
    EXPECT_EQ(track_in("FILE \"d.bin\" BINARY\n TRACK 01 CDI/2352\n  INDEX 01 01:00:00\n"), "d.bin @10584000 2352/24");
    EXPECT_EQ(track_in("REM x\nFILE \"x y.bin\" BINARY\n TRACK 01 MODE2/2048\n  PREGAP 00:02:00\n  INDEX 01 00:00:00\n"),
              "x y.bin @0 2048/0");
}

TEST(CueDataTrack, MalformedOrNoDataTrack) {
    const char* bad[] = {
        "",
        "TRACK 01 MODE1/2352\n INDEX 01 00:00:00\n",                         // no FILE
        "FILE \"d.bin\" BINARY\n TRACK 00 MODE1/2352\n INDEX 01 00:00:00\n",  // track 0
        "FILE \"d.bin\" BINARY\n TRACK 100 MODE1/2352\n INDEX 01 00:00:00\n",
        "FILE \"d.bin\" BINARY\n TRACK 02 AUDIO\n INDEX 01 00:00:00\n TRACK 02 MODE1/2352\n INDEX 01 00:01:00\n",
        "FILE \"d.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:05:00\n TRACK 02 MODE1/2352\n INDEX 01 00:01:00\n",
        "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n INDEX 00 00:05:00\n INDEX 01 00:01:00\n",
        "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n INDEX 01 00:60:00\n",
        "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n INDEX 01 00:00:75\n",
        "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n INDEX 01 0:0\n",
        "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n INDEX 01 1000:00:00\n",
        "FILE \"d.bin\" BINARY\n TRACK 01 MODE2/2324\n INDEX 01 00:00:00\n",  // no 2048-byte sectors
        "FILE \"d.bin\" BINARY\n TRACK 01 MODE3/2352\n INDEX 01 00:00:00\n",
        "FILE \"d.bin\" BINARY\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n",        // audio only
        "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n INDEX 00 00:00:00\n",   // no INDEX 01
        "FILE \"d.bin\" BINARY\n TRACK 01 AUDIO\n TRACK 02 MODE1/2352\n INDEX 01 00:00:00\n",
        "FILE\n TRACK 01 MODE1/2352\n INDEX 01 00:00:00\n",
        "FILE \"d.bin\" BINARY\n INDEX 01 00:00:00\n",
    };
    for (const char* text : bad) EXPECT_EQ(track_in(text), "-") << text;
    EXPECT_EQ(track_in(std::string("FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n\0 INDEX 01 00:00:00\n", 55)), "-")
        << "the text ends at a zero byte";
}

}  // namespace

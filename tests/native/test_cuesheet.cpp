// The image name in a cue sheet and the path built from it.
#include <gtest/gtest.h>

#include <string>

#include "formats/cuesheet.h"

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

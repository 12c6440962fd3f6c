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

std::string disc_in(const std::string& text) {
    std::string buf = text;  // exactly sized, no terminator
    rip::disc_layout l;
    std::string why;
    const bool ok = cue::read_disc(buf.data(), buf.size(), &l, &why);
    return answer(ok, l, why);
}

// Written by vcdimager's vcdxbuild for a two-film Video CD: the ISO 9660
// track, then two MPEG tracks with a 2-second pregap each, in one file. The
// films are files of the volume (MPEGAV\AVSEQ01.DAT at sector 450, track 2's
// INDEX 01), so the volume reaches into the later tracks.
const char* const vcd_sheet =
    "FILE \"v.bin\" BINARY\n"
    "  TRACK 01 MODE2/2352\n    FLAGS DCP\n    INDEX 01 00:00:00\n"
    "  TRACK 02 MODE2/2352\n    FLAGS DCP\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n"
    "  TRACK 03 MODE2/2352\n    FLAGS DCP\n    INDEX 00 00:10:70\n    INDEX 01 00:12:70\n";

TEST(CueDisc, VideoCdOfVcdxbuildIn2352And2336ByteSectors) {
    EXPECT_EQ(disc_in(vcd_sheet),
              "t1 v.bin@0 x300 2352/24 | t2 v.bin@705600 x520 2352/24 | t3 v.bin@1928640 x* 2352/24; origin 0+0");
    std::string sheet_2336 = vcd_sheet;  // --sector-2336 writes the same sheet in another mode
    for (size_t at; (at = sheet_2336.find("2352")) != std::string::npos;) sheet_2336.replace(at, 4, "2336");
    rip::disc_layout l;
    std::string why;
    ASSERT_TRUE(cue::read_disc(sheet_2336.data(), sheet_2336.size(), &l, &why)) << why;
    EXPECT_EQ(layout_text(l),
              "t1 v.bin@0 x300 2336/8 | t2 v.bin@700800 x520 2336/8 | t3 v.bin@1915520 x* 2336/8; origin 0+0");

    // The image holds 1637 sectors; the first film starts at track 2's INDEX 01.
    rip::disc_map map;
    ASSERT_TRUE(place_sized(l, {{"v.bin", 1637 * 2336}}, &map, &why)) << why;
    EXPECT_EQ(sector_at(map, 450), "v.bin@1051200+8");
    EXPECT_EQ(sector_at(map, 970), "v.bin@2265920+8");
    EXPECT_EQ(sector_at(map, 1636), "v.bin@3821696+8");
    EXPECT_EQ(sector_at(map, 1637), "none");
}

TEST(CueDisc, TheDiscMakersSheets) {
    REQUIRE_RIPS();
    EXPECT_EQ(disc_in(rip_text("cue-multi.cue")),
              "t1 cue-multi.bin@0 x26 2352/16 | t2 cue-multi.bin@61152 x450 2352/- | "
              "t3 cue-multi.bin@1119552 x* 2352/-; origin 0+0");
    EXPECT_EQ(disc_in(rip_text("cue-split.cue")),
              "t1 cue-split (Track 1).bin@0 x* 2352/24 | t2 cue-split (Track 2).bin@0 x* 2352/- | "
              "t3 cue-split (Track 3).bin@0 x* 2352/-; origin 0+0");
    for (std::string kind : {"cue-2048", "cue-2336"})
        EXPECT_EQ(disc_in(rip_text(kind + ".cue")),
                  "t1 " + kind + " (Track 1).bin@0 x* " + kind.substr(4) + "/" + (kind == "cue-2048" ? "0" : "8") +
                      " | t2 " + kind + " (Track 2).bin@0 x* 2352/- | t3 " + kind +
                      " (Track 3).bin@0 x* 2352/-; origin 0+0");
}

TEST(CueDisc, EachFileContinuesTheDisc) {
    // The first file holds two tracks, the second starting past 0; the next
    // FILE's positions start again at 0.
    EXPECT_EQ(disc_in("FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                      " TRACK 02 AUDIO\n  INDEX 00 00:10:00\n  INDEX 01 00:12:00\n"
                      "FILE \"b.bin\" BINARY\n TRACK 03 MODE1/2352\n  INDEX 01 00:00:00\n"),
              "t1 a.bin@0 x750 2352/- | t2 a.bin@1764000 x* 2352/- | t3 b.bin@0 x* 2352/16; origin 2+0");
    // A file per track with the pregap stored at its start (as rippers
    // write them): the file's first track starts at the file's start.
    EXPECT_EQ(disc_in("FILE \"1.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                      "FILE \"2.bin\" MOTOROLA\n TRACK 02 MODE1/2048\n  INDEX 00 00:00:00\n  INDEX 01 00:02:00\n"
                      "FILE \"3.wav\" WAVE\n TRACK 03 AUDIO\n  INDEX 01 00:02:00\n"),
              "t1 1.bin@0 x* 2352/- | t2 2.bin@0 x* 2048/0 | t3 3.wav@0 x* 2352/-; origin 1+150");
    EXPECT_EQ(disc_in("FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 00 00:00:00\n  INDEX 01 00:02:00\n"),
              "t1 d.bin@0 x* 2352/16; origin 0+150");

    // A file per track with each gap at the end of the file before (the
    // other way rippers write them): the track's INDEX 00 ends one file and
    // its INDEX 01 opens the next, where the data track's sectors count from.
    const std::string gaps_before = "FILE \"1.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                                    " TRACK 02 MODE1/2352\n  INDEX 00 04:00:00\n"
                                    "FILE \"2.bin\" BINARY\n  INDEX 01 00:00:00\n";
    EXPECT_EQ(disc_in(gaps_before), "t1 1.bin@0 x18000 2352/- | t2 1.bin@42336000 x* 2352/16 | "
                                    "t2 2.bin@0 x* 2352/16; origin 2+0");
    EXPECT_EQ(disc_in(gaps_before + " TRACK 03 AUDIO\n  INDEX 00 00:30:00\nFILE \"3.bin\" BINARY\n"
                                    "  INDEX 01 00:00:00\n"),
              "t1 1.bin@0 x18000 2352/- | t2 1.bin@42336000 x* 2352/16 | t2 2.bin@0 x2250 2352/16 | "
              "t3 2.bin@5292000 x* 2352/- | t3 3.bin@0 x* 2352/-; origin 2+0");
    // The INDEX 01 must still come: in the next file, not never.
    EXPECT_EQ(disc_in("FILE \"1.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 00 00:00:00\n"
                      "FILE \"2.bin\" BINARY\n TRACK 02 AUDIO\n  INDEX 01 00:00:00\n"),
              "! is damaged at line 2: track 1 has no INDEX 01");
    EXPECT_EQ(disc_in("FILE \"1.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 00 00:00:00\nFILE \"2.bin\" BINARY\n"),
              "! is damaged at line 2: track 1 has no INDEX 01");
    EXPECT_EQ(disc_in("FILE \"1.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 00 00:00:00\nFILE \"2.bin\" BINARY\n"
                      "FILE \"3.bin\" BINARY\n  INDEX 01 00:00:00\n"),
              "! is damaged at line 2: track 1 has no INDEX 01")
        << "the next file, not a later one";
}

TEST(CueDisc, SizesPregapsAndPostgapsPerTrack) {
    // Each track's sectors at its own size: the data track's INDEX 01 lies
    // 750 audio and 150 Mode 2 sectors into the file.
    EXPECT_EQ(disc_in("FILE \"a.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n  POSTGAP 00:01:00\n"
                      " TRACK 02 MODE2/2336\n  PREGAP 00:02:00\n  INDEX 00 00:10:00\n  INDEX 01 00:12:00\n"
                      "  INDEX 02 00:13:00\n TRACK 03 MODE2/2324\n  INDEX 01 00:20:00\n TRACK 04 CDG\n"
                      "  INDEX 01 00:30:00\n"),
              "t1 a.bin@0 x750 2352/- | t1 gap x75 | t2 gap x150 | t2 a.bin@1764000 x750 2336/8 | "
              "t3 a.bin@3516000 x750 2324/- | t4 a.bin@5259000 x* 2448/-; origin 3+150");
    EXPECT_EQ(disc_in("file d.bin binary\r\ntrack 1 mode2/2352\r\nindex 1 00:00:00\r\n"),
              "t1 d.bin@0 x* 2352/24; origin 0+0")
        << "any case, unquoted name, one-digit numbers";
    EXPECT_EQ(disc_in("FILE \"d.bin\" BINARY\n TRACK 01 CDI/2352\n  INDEX 01 01:00:00\n"),
              "t1 d.bin@0 x* 2352/24; origin 0+4500");
    EXPECT_EQ(disc_in("FILE \"d.iso\" BINARY\n TRACK 01 MODE2/2048\n  INDEX 01 00:00:00\n"),
              "t1 d.iso@0 x* 2048/0; origin 0+0");
}

TEST(CueDisc, NumbersAtTheirBounds) {
    const std::string head = "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 00 00:00:00\n  INDEX 01 ";
    EXPECT_EQ(disc_in(head + "00:59:74\n"), "t1 d.bin@0 x* 2352/16; origin 0+4499");
    EXPECT_EQ(disc_in(head + "99:59:74\n"), "t1 d.bin@0 x* 2352/16; origin 0+449999");
    EXPECT_EQ(disc_in(head + "00:60:00\n"), "! is damaged at line 4: 00:60:00 is not a position (mm:ss:ff)");
    EXPECT_EQ(disc_in(head + "00:59:75\n"), "! is damaged at line 4: 00:59:75 is not a position (mm:ss:ff)");
    EXPECT_EQ(disc_in(head + "100:00:00\n"), "! is damaged at line 4: 100:00:00 is not a position (mm:ss:ff)");
    EXPECT_EQ(disc_in(head + "0:0\n"), "! is damaged at line 4: 0:0 is not a position (mm:ss:ff)");

    const std::string audio = "FILE \"d.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK ";
    EXPECT_EQ(disc_in(audio + "99 MODE1/2048\n  INDEX 01 00:04:00\n"),
              "t1 d.bin@0 x300 2352/- | t99 d.bin@705600 x* 2048/0; origin 1+0");
    EXPECT_EQ(disc_in(audio + "100 MODE1/2048\n  INDEX 01 00:04:00\n"),
              "! is damaged at line 4: track number 100 is not 1 to 99");
    EXPECT_EQ(disc_in("FILE d.bin BINARY\nTRACK 0 MODE1/2048\nINDEX 01 00:00:00\n"),
              "! is damaged at line 2: track number 0 is not 1 to 99");
    EXPECT_EQ(disc_in(head + "00:00:00\n  INDEX 99 00:00:01\n"), "t1 d.bin@0 x* 2352/16; origin 0+0");
    EXPECT_EQ(disc_in(head + "00:00:00\n  INDEX 100 00:00:01\n"), "! is damaged at line 5: INDEX 100 is not 0 to 99");
}

TEST(CueDisc, SheetsOutOfOrder) {
    const std::string f = "FILE \"d.bin\" BINARY\n";
    const std::pair<std::string, std::string> bad[] = {
        {"", "! has no data track (an audio CD?)"},
        {f + " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n", "! has no data track (an audio CD?)"},
        {"TRACK 01 MODE1/2352\n INDEX 01 00:00:00\n", "! is damaged at line 1: TRACK comes before any FILE"},
        {"FILE\n", "! is damaged at line 1: FILE names no file"},
        {f + " TRACK 02 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 MODE1/2352\n  INDEX 01 00:01:00\n",
         "! is damaged at line 4: track 2 follows track 2"},
        {f + " TRACK 01 AUDIO\n  INDEX 01 00:05:00\n TRACK 02 MODE1/2352\n  INDEX 01 00:05:00\n",
         "! is damaged at line 5: track 2 does not start after track 1"},
        {f + " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n  INDEX 02 00:09:00\n TRACK 02 MODE1/2352\n  INDEX 01 00:08:00\n",
         "! is damaged at line 6: track 2 does not start after track 1"},
        {f + " TRACK 01 MODE1/2352\n  INDEX 00 00:05:00\n  INDEX 01 00:01:00\n",
         "! is damaged at line 4: INDEX 01 lies before the INDEX before"},
        {f + " TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n  INDEX 01 00:01:00\n",
         "! is damaged at line 4: INDEX 01 does not follow the INDEX before"},
        {f + " TRACK 01 MODE1/2352\n  INDEX 02 00:00:00\n", "! is damaged at line 3: track 1 starts with INDEX 02"},
        {f + " TRACK 01 MODE1/2352\n  INDEX 00 00:00:00\n", "! is damaged at line 2: track 1 has no INDEX 01"},
        {f + " TRACK 01 AUDIO\n TRACK 02 MODE1/2352\n  INDEX 01 00:00:00\n",
         "! is damaged at line 2: track 1 has no INDEX 01"},
        {f + " TRACK 01 MODE3/2352\n  INDEX 01 00:00:00\n",
         "! is damaged at line 2: MODE3/2352 is not a track mode this setup reads"},
        {f + " TRACK 01\n", "! is damaged at line 2: TRACK needs a number and a mode"},
        {f + " INDEX 01 00:00:00\n", "! is damaged at line 2: INDEX comes before any TRACK"},
        {f + " TRACK 01 MODE1/2048\n  INDEX 01\n", "! is damaged at line 3: INDEX needs a number and a position"},
        {f + " TRACK 01 MODE1/2048\n  PREGAP 2\n", "! is damaged at line 3: PREGAP needs a length (mm:ss:ff)"},
        {f + " POSTGAP 00:02:00\n", "! is damaged at line 2: POSTGAP comes before any TRACK"},
    };
    for (const auto& c : bad) EXPECT_EQ(disc_in(c.first), c.second) << c.first;
    EXPECT_EQ(disc_in(std::string("FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n\0 INDEX 01 00:00:00\n", 55)),
              "! is damaged at line 2: track 1 has no INDEX 01")
        << "the text ends at a zero byte";
}

}  // namespace

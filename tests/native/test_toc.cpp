// cdrdao table-of-contents files: the first data track's INDEX 1 in its file.
#include <gtest/gtest.h>

#include <string>

#include "formats/toc.h"
#include "rip_files.h"

namespace {

std::string track_in(const std::string& text) {
    std::string buf = text;
    rip::data_track t;
    return toc::first_data_track(buf.data(), buf.size(), &t) ? where(t) : "-";
}

TEST(TocDataTrack, TheDiscMakersFile) {
    REQUIRE_RIPS();
    auto bytes = rip_file("toc.toc");
    EXPECT_EQ(track_in(std::string(bytes.begin(), bytes.end())), "toc.bin @0 2352/16");
}

TEST(TocDataTrack, PiecesStartAndPregap) {
    EXPECT_EQ(track_in("CD_ROM\nTRACK MODE1\nDATAFILE \"d.iso\"\n"), "d.iso @0 2048/0");
    EXPECT_EQ(track_in("TRACK MODE1_RAW\nDATAFILE \"d.bin\" #1000 00:10:00\nSTART 00:01:00\n"),
              "d.bin @" + std::to_string(1000 + 75 * 2352) + " 2352/16");
    EXPECT_EQ(track_in("TRACK MODE2_RAW\nZERO MODE2_RAW 00:02:00\nDATAFILE \"d.bin\"\nSTART 00:02:00\n"),
              "d.bin @0 2352/24") << "the pregap is in no file";
    EXPECT_EQ(track_in("TRACK MODE2\nPREGAP 00:02:00\nDATAFILE \"d.bin\"\n"), "d.bin @0 2336/8");
    EXPECT_EQ(track_in("TRACK MODE1_RAW RW_RAW\nDATAFILE \"a.bin\" 00:00:10\nDATAFILE \"b.bin\" #7\nSTART 00:00:12\n"),
              "b.bin @" + std::to_string(7 + 2 * 2448) + " 2448/16") << "the second piece holds INDEX 1";
    EXPECT_EQ(track_in("TRACK MODE2_FORM1\nFILE \"d.bin\" 00:00:05 00:01:00\n"), "d.bin @" + std::to_string(5 * 2048) + " 2048/0");
    EXPECT_EQ(track_in("CD_ROM_XA\nCD_TEXT { LANGUAGE 0 { TITLE \"} TRACK MODE1\" } }\n"
                       "// TRACK MODE1 DATAFILE \"comment.bin\"\n"
                       "TRACK AUDIO\nFILE \"a.bin\" 0 00:04:00\n"
                       "TRACK MODE2_FORM_MIX\nCD_TEXT { LANGUAGE 0 { TITLE \"x\" } }\nDATAFILE \"d\\\"q.bin\"\n"),
              "d\"q.bin @0 2336/8") << "CD_TEXT blocks, comments and audio tracks passed over";
}

TEST(TocDataTrack, MalformedOrNoDataTrack) {
    const char* bad[] = {
        "",
        "CD_DA\nTRACK AUDIO\nFILE \"a.bin\" 0\n",
        "TRACK MODE2_FORM2\nDATAFILE \"d.bin\"\n",                    // no 2048-byte sectors
        "TRACK MODE1 RW\nDATAFILE \"d.bin\"\n",                       // 2144-byte sectors
        "TRACK MODE9\nDATAFILE \"d.bin\"\n",
        "TRACK MODE1\nZERO 00:02:00\nDATAFILE \"d.bin\"\nSTART 00:01:00\n",  // INDEX 1 in no file
        "TRACK MODE1\nDATAFILE \"d.bin\" 00:01:00\nSTART 00:02:00\n",        // past the pieces
        "TRACK MODE1\nDATAFILE d.bin\n",
        "TRACK MODE1\nDATAFILE \"d.bin\" #x\n",
        "TRACK MODE1\nDATAFILE \"d.bin\" 00:61:00\n",
        "TRACK MODE1\nFILE \"d.bin\" 1234\n",                          // samples are no sector
        "TRACK MODE1\nDATAFILE \"d.bin\"\nZERO 00:01:00\n",            // nothing after an open end
        "TRACK MODE1\nDATAFILE \"d.bin\"\nSTART\n",
        "TRACK MODE1\nPREGAP\nDATAFILE \"d.bin\"\n",
        "TRACK MODE1\nZERO 99:00:00\nZERO 99:00:00\nDATAFILE \"d.bin\"\nSTART 00:00:00\n",
        "TRACK",
    };
    for (const char* text : bad) EXPECT_EQ(track_in(text), "-") << text;
}

}  // namespace

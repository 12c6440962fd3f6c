// The names a descriptor may point at, and where they resolve.
#include <gtest/gtest.h>

#include <string>

#include "formats/descriptor_names.h"

namespace {

TEST(SafeName, FilesBesideOrOnADrive) {
    for (const char* ok : {"game.bin", "sub\\game.bin", "sub/game.bin", "E:\\other\\game.bin",
                           "a b (Track 1).bin", "*.mdf", "*.img", "console.bin", "nul_x.bin",
                           "..\\game.bin", "com10.bin", "\xc3\xa4.mdf",
                           // One leading separator: the descriptor's folder.
                           "\\disc2.bin", "/disc2.bin", "\\sub\\disc2.bin", "E:\\x"})
        EXPECT_TRUE(rip::safe_name(ok)) << ok;
    EXPECT_TRUE(rip::safe_name(std::string(259, 'a')));
}

TEST(SafeName, NoDevicesStreamsSharesOrOddCharacters) {
    for (const char* bad : {"", "CON", "con", "nul.bin", "NUL .bin", "COM1", "com9.img", "LPT1.bin",
                            "sub\\AUX.bin", "sub\\prn", "CONIN$", "conout$.x", "CLOCK$",
                            "\\\\.\\PhysicalDrive0", "\\\\?\\C:\\x.bin", "\\\\server\\share\\x.bin",
                            "\\\\root.bin", "//root.bin", "\\/root.bin", "/\\root.bin", "\\", "/", "E:\\\\x.bin",
                            "\\x\\", "\\NUL", "\\sub\\com1.bin", "odd:name.bin", "x.bin:stream", "C:x.bin",
                            "E:\\a\\b:c", "a*b.bin", "a?b.bin", "a\"b", "a<b", "a|b", "a\x01.bin",
                            "a\x7f.bin", "*", "*mdf", "*.mdf\\x", "*.m:f", "*.*", "C:\\"})
        EXPECT_FALSE(rip::safe_name(bad)) << bad;
    EXPECT_FALSE(rip::safe_name(std::string(260, 'a')));
}

TEST(FileBeside, StarEmptyRelativeAbsolute) {
    EXPECT_EQ(rip::file_beside("C:\\r\\game.ccd", "*.img"), "C:\\r\\game.img");
    EXPECT_EQ(rip::file_beside("C:\\r.d\\game", "*.img"), "C:\\r.d\\game.img") << "a dot in a folder";
    EXPECT_EQ(rip::file_beside("game.MDS", "*.mdf"), "game.mdf");
    EXPECT_EQ(rip::file_beside("C:\\r\\game.nrg", ""), "C:\\r\\game.nrg");
    EXPECT_EQ(rip::file_beside("C:\\r\\game.toc", "game.bin"), "C:\\r\\game.bin");
    EXPECT_EQ(rip::file_beside("C:\\r\\game.toc", "E:\\x.bin"), "E:\\x.bin");
    EXPECT_EQ(rip::file_beside("C:\\r\\game.cue", "\\disc2.bin"), "C:\\r\\disc2.bin") << "not C:\\disc2.bin";
    EXPECT_EQ(rip::file_beside("C:\\r\\game.toc", "/d\\x.bin"), "C:\\r\\d\\x.bin");
    std::string folder = "C:\\" + std::string(515, 'd') + "\\";
    EXPECT_EQ(rip::file_beside(folder + "g.ccd", "*.img").size(), 519u);
}

}  // namespace

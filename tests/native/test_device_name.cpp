// The device names that Windows 10 and 11 open instead of a file: one rule
// for the names on a disc (iso::name_safe) and in a descriptor (rip::safe_name).
#include <gtest/gtest.h>

#include <string>

#include "formats/descriptor_names.h"
#include "formats/device_name.h"
#include "formats/iso9660.h"

namespace {

TEST(DeviceName, EveryReservedNameInEitherCheck) {
    const char* devices[] = {
        "CON", "con", "PRN", "AUX", "NUL", "Nul", "CONIN$", "conout$", "CLOCK$", "clock$.txt",
        "COM0", "COM1", "com9", "LPT0", "lpt5", "LPT9",
        // Windows looks at the name up to its first dot, whatever follows.
        "NUL.x.bin", "com1.tar.gz", "CON.", "aux.dat", "LPT1.BIN.GZ",
        "CON ", "NUL .bin", "COM1  .img",
        // Superscript port numbers, as two UTF-8 bytes or one Windows-1252 byte.
        "COM\xC2\xB9", "com\xC2\xB2.bin", "LPT\xC2\xB3", "COM\xB9", "lpt\xB2.txt", "LPT\xB3",
    };
    for (const char* d : devices) {
        EXPECT_TRUE(win::is_device_name(d)) << d;
        EXPECT_FALSE(iso::name_safe(d)) << d;
        EXPECT_FALSE(rip::safe_name(d)) << d;
        EXPECT_FALSE(rip::safe_name(std::string("sub\\") + d + "\\x.bin")) << d << " as a folder";
    }
}

TEST(DeviceName, NamesThatOnlyLookAlike) {
    const char* files[] = {
        "CONSOLE", "CONIN", "COM", "COM10", "COM1X", "LPT", "LPT10.TXT", "NULL.TXT", "AUXILIARY", "XCON",
        "x.NUL", "a.con.b", "_NUL", "CLOCK", "CLOCK$$", "COMA",
        // Superscripts other than 1 to 3, and a UTF-8 lead byte alone or doubled.
        "COM\xC2\xB4", "COM\xB4", "COM\xC2\xB9\xC2\xB9", "LPT\xC2", "COM\xE2\x81\xB4",
    };
    for (const char* f : files) {
        EXPECT_FALSE(win::is_device_name(f)) << f;
        EXPECT_TRUE(rip::safe_name(f)) << f;
    }
    EXPECT_TRUE(iso::name_safe("COM10")) << "the disc's check agrees";
    EXPECT_TRUE(iso::name_safe("NULL.TXT"));
}

}  // namespace

// The names Windows opens as a device instead of a file, in any folder: one
// rule for the names on a disc and the file names in a rip's descriptor.
// Header-only, so that every tool built from the ISO 9660 decoder has it.
#pragma once
#include <string>

#include "formats/descriptor_text.h"

namespace win {

namespace device_detail {

// A port number: a digit, or a superscript one, two or three, which Windows
// also takes (the UTF-8 code page passes them as two bytes, others as one).
inline bool port_digit(const std::string& s) {
    if (s.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(s[0]);
        return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
    }
    return s == "\xC2\xB9" || s == "\xC2\xB2" || s == "\xC2\xB3";
}

}  // namespace device_detail

// True when a file or folder of this name (one part of a path, no separator)
// would be a device on Windows 10 or 11: CON, PRN, AUX, NUL, COM0 to COM9,
// LPT0 to LPT9, COM and LPT with a superscript 1, 2 or 3 (in UTF-8 or as one
// Windows-1252 byte), CONIN$, CONOUT$ or CLOCK$, in any letter case, as the
// whole name or before its first dot, trailing spaces ignored ("nul.x.bin",
// "COM1 .img", "con").
inline bool is_device_name(const std::string& name) {
    using device_detail::port_digit;
    using rip::same_nocase;
    // Windows looks only at the base name: "nul.tar.gz" is NUL.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
        if (same_nocase(base, d)) return true;
    if (base.size() < 4) return false;
    const std::string prefix = base.substr(0, 3);
    return (same_nocase(prefix, "COM") || same_nocase(prefix, "LPT")) && port_digit(base.substr(3));
}

}  // namespace win

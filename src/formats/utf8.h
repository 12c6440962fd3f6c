// UTF-8, the code page the program runs in, written from code points of the
// Basic Multilingual Plane (what the decoders meet: UTF-16 units that are no
// surrogates, and single-byte code pages).
#pragma once
#include <cstdint>
#include <string>

namespace text8 {

// Appends the code point cp (below 0x10000, no surrogate) to out.
inline void put_utf8(std::string* out, uint32_t cp) {
    if (cp < 0x80) {
        out->push_back(char(cp));
    } else if (cp < 0x800) {
        out->push_back(char(0xC0 | cp >> 6));
        out->push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(char(0xE0 | cp >> 12));
        out->push_back(char(0x80 | (cp >> 6 & 0x3F)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    }
}

}  // namespace text8

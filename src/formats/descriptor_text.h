// Pieces of text that the rip descriptors share: keywords compared without
// regard to case, bounded decimal numbers, mm:ss:ff positions, the walk over
// a descriptor's lines and the reason of a damaged one.
#pragma once
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace rip {

// True when a is the upper-case keyword b, a's letters in either case.
inline bool same_nocase(const std::string& a, const char* b) {
    if (a.size() != strlen(b)) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

// True when s is 1 to max_digits decimal digits whose value is at most max;
// the value goes to *v. max_digits is at most 19, so no value can wrap.
bool decimal(const std::string& s, size_t max_digits, uint64_t max, uint64_t* v);

// "m:s:f" as a count of frames (75 a second): three such numbers, minutes at
// most max_minutes, seconds at most 59, frames at most 74.
bool msf(const std::string& s, size_t max_digits, uint64_t max_minutes, uint64_t* frames);

// Sets *why to "is damaged at line N: what", how a fault in a text
// descriptor is told; false.
bool damaged_at(std::string* why, size_t line, const std::string& what);

// Calls each(begin, end, number) for every line of the text (ended by LF, CR
// or CR LF; numbered from 1) up to its first zero byte, and stops at the first
// call that returns false; false then.
template <class F>
bool for_each_line(const char* text, size_t len, F each) {
    const char* end = text + strnlen(text, len);
    size_t number = 0;
    for (const char* line = text; line < end;) {
        const char* eol = line;
        while (eol < end && *eol != '\n' && *eol != '\r') eol++;
        if (!each(line, eol, ++number)) return false;
        line = eol == end ? end : eol + (*eol == '\r' && eol + 1 < end && eol[1] == '\n' ? 2 : 1);
    }
    return true;
}

}  // namespace rip

// Pieces of text that the rip descriptors share.
#include "formats/descriptor_text.h"

#include <cctype>
#include <cstring>

namespace rip {

bool decimal(const std::string& s, size_t max_digits, uint64_t max, uint64_t* v) {
    if (s.empty() || s.size() > max_digits) return false;
    uint64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + uint64_t(c - '0');
    }
    *v = n;
    return n <= max;
}

bool msf(const std::string& s, size_t max_digits, uint64_t max_minutes, uint64_t* frames) {
    size_t a = s.find(':'), b = a == std::string::npos ? a : s.find(':', a + 1);
    uint64_t m, sec, f;
    if (b == std::string::npos || !decimal(s.substr(0, a), max_digits, max_minutes, &m) ||
        !decimal(s.substr(a + 1, b - a - 1), max_digits, 59, &sec) ||
        !decimal(s.substr(b + 1), max_digits, 74, &f))
        return false;
    *frames = (m * 60 + sec) * 75 + f;
    return true;
}

bool damaged_at(std::string* why, size_t line, const std::string& what) {
    *why = "is damaged at line " + std::to_string(line) + ": " + what;
    return false;
}

}  // namespace rip

// Pieces of text that the rip descriptors share: keywords compared without
// regard to case, bounded decimal numbers and mm:ss:ff positions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace rip {

// True when a is the upper-case keyword b, a's letters in either case.
bool same_nocase(const std::string& a, const char* b);

// True when s is 1 to max_digits decimal digits whose value is at most max;
// the value goes to *v. max_digits is at most 19, so no value can wrap.
bool decimal(const std::string& s, size_t max_digits, uint64_t max, uint64_t* v);

// "m:s:f" as a count of frames (75 a second): three such numbers, minutes at
// most max_minutes, seconds at most 59, frames at most 74.
bool msf(const std::string& s, size_t max_digits, uint64_t max_minutes, uint64_t* frames);

}  // namespace rip

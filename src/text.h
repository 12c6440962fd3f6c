// Texts in the process's code page, which the manifest makes UTF-8 (Windows
// 10 1903 and later, and Wine; older systems keep their own code page, which
// may be a double-byte one): bounded formatting that never cuts a character
// in two, and path comparison as the file system compares names.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

// Lets the compiler check a printf-like function's arguments against its format.
#ifdef __MINGW_PRINTF_FORMAT
#define PRINTF_FORMAT(f, a) __attribute__((format(__MINGW_PRINTF_FORMAT, f, a)))
#else
#define PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

// snprintf for paths and other texts: text that does not fit is cut before
// the first character that would not fit whole, never inside one.
int text_printf(char* out, size_t size, const char* fmt, ...) PRINTF_FORMAT(3, 4);
// The same for a printf-like function's own arguments.
int text_vprintf(char* out, size_t size, const char* fmt, va_list ap) PRINTF_FORMAT(3, 0);
// Cuts a text that was cut at a byte count back to its last whole character.
void cut_to_whole_char(char* text);
// 1 when two paths name the same file as the file system compares names:
// without regard to case, for every letter, not only A to Z.
int same_path(const char* a, const char* b);
// A text of the process's code page as UTF-16, or empty when it cannot be converted.
std::wstring widen(const char* text);

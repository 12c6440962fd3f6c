// Texts in the process's code page: bounded formatting and comparison.
#include "text.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

void cut_to_whole_char(char* text) {
    size_t n = strlen(text);
    if (GetACP() == CP_UTF8) {
        // Back to the start of the last sequence; drop it when it is incomplete.
        size_t start = n;
        while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) start--;
        if (start == 0) return;
        unsigned char lead = static_cast<unsigned char>(text[start - 1]);
        size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (n - (start - 1) < want) text[start - 1] = 0;
        return;
    }
    // A double-byte code page: a lead byte at the very end has lost its trail byte.
    for (size_t i = 0; i < n; i++) {
        if (!IsDBCSLeadByte(static_cast<BYTE>(text[i]))) continue;
        if (i + 1 == n) text[i] = 0;
        i++;
    }
}

int text_vprintf(char* out, size_t size, const char* fmt, va_list ap) {
    int n = vsnprintf(out, size, fmt, ap);
    if (size > 0 && n >= 0 && size_t(n) >= size) cut_to_whole_char(out);
    return n;
}

int text_printf(char* out, size_t size, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = text_vprintf(out, size, fmt, ap);
    va_end(ap);
    return n;
}

std::wstring widen(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(size_t(n), L'\0');
    if (!MultiByteToWideChar(CP_ACP, 0, text, -1, &w[0], n)) return {};
    w.resize(size_t(n - 1));
    return w;
}

int same_path(const char* a, const char* b) {
    std::wstring wa = widen(a), wb = widen(b);
    return CompareStringOrdinal(wa.c_str(), int(wa.size()), wb.c_str(), int(wb.size()), TRUE) ==
           CSTR_EQUAL;
}

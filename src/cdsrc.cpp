// Disc sources: the calls every caller makes, and what both kinds of disc
// share when they copy (the pauses before a retry, the names of a folder).
#include "cdsrc.h"

#include <windows.h>

#include "disc_names.h"

void cd_close(cd_source* cd) { delete cd; }

const char* cd_describe(cd_source* cd) { return cd->describe(); }

int cd_exists(cd_source* cd, const char* rel) { return cd->exists(rel) ? 1 : 0; }

uint64_t cd_total_bytes(cd_source* cd) { return cd->measure(1).bytes; }

int cd_copy_all(cd_source* cd, const char* dest, progress* p) { return cd->copy_all(dest, p) ? 1 : 0; }

void pause_before_retry(unsigned retry) { Sleep(125u << (retry - 1)); }

bool target_names::claim(const char* name, std::string* earlier) {
    const std::wstring wide = widen(name);
    std::wstring key(wide.size(), L'\0');
    // File names compare as NTFS compares them: each character upper-cased, no locale.
    if (!wide.empty() && !LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), int(wide.size()),
                                        &key[0], int(key.size()), nullptr, nullptr, 0))
        key = wide;
    auto placed = taken_.emplace(key, name);
    if (placed.second) return true;
    *earlier = placed.first->second;
    return false;
}

// What every rip parser promises about a data track it returns.
#pragma once
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/data_track.h"

inline void check_track(const rip::data_track& t) {
    if (rip::user_data_offset(t.sector_size, false) == rip::NO_LAYOUT) abort();
    if (t.data_offset != rip::user_data_offset(t.sector_size, false) &&
        t.data_offset != rip::user_data_offset(t.sector_size, true))
        abort();
    // Names come back as written, of any length; only what passes the name
    // check may be opened, and that is short and lands in a path buffer.
    if (memchr(t.file.data(), 0, t.file.size())) abort();
    if (rip::safe_name(t.file) &&
        (t.file.size() > 259 || rip::file_beside(std::string(600, 'd') + ".x", t.file).size() > 519))
        abort();
}

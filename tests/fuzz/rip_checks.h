// What every rip parser promises about a data track it returns.
#pragma once
#include <cstdlib>
#include <cstring>

#include "formats/data_track.h"

inline void check_track(const rip::data_track& t) {
    if (rip::user_data_offset(t.sector_size, false) == rip::NO_LAYOUT) abort();
    if (t.data_offset != rip::user_data_offset(t.sector_size, false) &&
        t.data_offset != rip::user_data_offset(t.sector_size, true))
        abort();
    if (t.file.size() > 1000 || memchr(t.file.data(), 0, t.file.size())) abort();
}

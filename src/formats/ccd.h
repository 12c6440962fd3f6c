// CloneCD control files (.ccd): an INI-style text beside an .img file of raw
// 2352-byte sectors (and a .sub file of subchannel data we do not read). The
// .img holds the disc from its first track's INDEX 1 on, so a track's
// "INDEX 1=<sector>" is its place in the .img.
#pragma once
#include <cstddef>

#include "formats/data_track.h"

namespace ccd {

// The first [TRACK n] section (in file order) with MODE=1 or MODE=2: the file
// "*.img", its INDEX 1 sector times 2352, and the raw Mode 1 or Mode 2 Form 1
// layout. False when the text has no [CloneCD] section, no such track, a
// track number outside 1..99 or repeated, or an INDEX 1 that is no decimal
// sector number below 100 minutes of disc. The text ends at its first zero byte.
bool first_data_track(const char* text, size_t len, rip::data_track* out);

}  // namespace ccd

// CloneCD control files (.ccd): an INI-style text beside an .img file of raw
// 2352-byte sectors (and a .sub file of subchannel data we do not read). The
// .img holds the disc from address (LBA) 0 on, every sector in order, the
// pregaps of later tracks included, so a track's "INDEX 0=" or "INDEX 1="
// sector is also its place in the .img.
#pragma once
#include <cstddef>

#include "formats/disc_map.h"

namespace ccd {

// The [TRACK n] sections of the first session as pieces of "*.img" in track
// order: a track from its INDEX 0 (or INDEX 1; the first track from the
// .img's start) up to the next track's start, the last one up to the
// session's lead-out (the [Entry] of point 0xA2) or the .img's end. A track
// belongs to the session its [Entry] says, else to the first. MODE=1 and
// MODE=2 are raw Mode 1 and Mode 2 Form 1 data, other modes no data we read;
// the origin is the first data track's INDEX 1. False, with *why set to a
// phrase that follows the file's name, for a text without a [CloneCD]
// section, no data track, a track number outside 1..99 or repeated, a track
// without INDEX 1, an index that is no sector address of a CD (0 to 449849),
// tracks or a lead-out out of order. The text ends at its first zero byte.
bool read_disc(const char* text, size_t len, rip::disc_layout* out, std::string* why);


}  // namespace ccd

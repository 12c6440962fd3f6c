// Alcohol media descriptors (.mds): a little-endian binary file beside the
// .mdf that holds the sectors. A header points to session blocks, a session
// to its track blocks (one per table-of-contents entry), a track block to its
// mode, sector size, start sector, byte offset in the .mdf, a block naming
// the file, and an extra block with its pregap and length in sectors.
#pragma once
#include <cstddef>
#include <cstdint>

#include "formats/disc_map.h"

namespace mds {

// The tracks of the first session as pieces in track order: a track's
// pregap, then its length from its start sector (its INDEX 1), read at its
// start offset. The .mdf holds the sectors one after another as the disc
// has them, so a pregap is stored right before its track's start offset
// where the file has room for it after the track before; else (the first
// track's 2-second pregap) it is not stored. Modes (the low four bits): Mode
// 1 (0xA), Mode 2 (0xB) and Mode 2 Form 1 (0xC) are data, with user data at
// 0, 8, 16 (Mode 1) or 24 bytes (Mode 2) into 2048, 2336, 2352 or 2448-byte
// sectors; audio (9), Form 2 (0xD) and others no data we read. The origin is
// the first data track's start. False, with *why set to a phrase that follows
// the file's name, for a file without the "MEDIA DESCRIPTOR" signature, no
// session, no data track or an empty one, a block or name outside the len bytes, a track
// listed twice, another sector size, a start sector or length beyond 100
// minutes, tracks that overlap, a track in no file or split over several, or
// a name that is empty, unterminated, over 259 characters, or wide
// characters beyond U+FFFF. A wide name comes out as UTF-8.
bool read_disc(const uint8_t* data, size_t len, rip::disc_layout* out, std::string* why);


}  // namespace mds

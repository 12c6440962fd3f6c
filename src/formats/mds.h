// Alcohol media descriptors (.mds): a little-endian binary file beside the
// .mdf that holds the sectors. A header points to session blocks, a session
// to its track blocks (one per table-of-contents entry), a track block to its
// sector size, its byte offset in the .mdf and a block naming the file.
#pragma once
#include <cstddef>
#include <cstdint>

#include "formats/data_track.h"

namespace mds {

// The data track with the lowest track number in the first session. False
// for a file without the "MEDIA DESCRIPTOR" signature, a block or name that
// lies outside the len bytes, no data track, a sector size other than 2048,
// 2336, 2352 or 2448, or a name that is empty, unterminated, over 259
// characters, or wide characters beyond U+FFFF. A wide name comes out as UTF-8.
bool first_data_track(const uint8_t* data, size_t len, rip::data_track* out);

}  // namespace mds

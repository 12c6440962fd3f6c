// Nero images (.nrg): the tracks' sectors first, then a chain of big-endian
// chunks (a 4-byte id, a 32-bit length, the body) up to "END!", found through
// a footer in the file's last bytes: "NER5" and a 64-bit offset (version 2),
// or "NERO" and a 32-bit offset (version 1). Disc-at-once chunks (DAOX, DAOI)
// give each track's sector size, mode and byte offsets of its pregap, its
// INDEX 1 and its end; track-at-once chunks (ETN2, ETNF) offset and length.
#pragma once
#include <cstddef>
#include <cstdint>

#include "formats/data_track.h"

namespace nrg {

// The most of a file's end that the parser needs: the footer and a chunk list
// of up to 1 MiB (a few hundred bytes in practice).
const size_t MAX_TAIL = (size_t(1) << 20) + 12;

// The first data track of the file whose last tail_len bytes (at most
// file_size) are at tail. Its file is "" (the image itself) and its offset
// is INDEX 1. False without a footer, for a chunk list that does not start
// inside the tail or runs past the footer, for no track-list chunk before
// "END!", for a track list whose count or entries do not fit its chunk, and
// for a data track whose bytes do not lie before the chunk list.
bool first_data_track(const uint8_t* tail, size_t tail_len, uint64_t file_size, rip::data_track* out);

}  // namespace nrg

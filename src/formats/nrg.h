// Nero images (.nrg): the tracks' sectors first, then a chain of big-endian
// chunks (a 4-byte id, a 32-bit length, the body) up to "END!", found through
// a footer in the file's last bytes: "NER5" and a 64-bit offset (version 2),
// or "NERO" and a 32-bit offset (version 1). Disc-at-once chunks (DAOX, DAOI)
// give each track's sector size, mode and byte offsets of its pregap (INDEX
// 0), its INDEX 1 and its end; track-at-once chunks (ETN2, ETNF) each
// track's offset, length, mode and start sector.
#pragma once
#include <cstddef>
#include <cstdint>

#include "formats/disc_map.h"

namespace nrg {

// The most of a file's end that the parser needs: the footer and a chunk list
// of up to 1 MiB (a few hundred bytes in practice).
const size_t MAX_TAIL = (size_t(1) << 20) + 12;

// The first session (the first track-list chunk) of the file whose last
// tail_len bytes (at most file_size) are at tail, as pieces of the image
// itself (file ""). Disc at once: each track's pregap and its sectors from
// INDEX 1, both stored. Track at once: each track's sectors, after the
// first with the 150-sector gap before it not stored (its start sector
// does not count the gaps: track k of the list, from 0, starts at start
// sector + 150 k). Mode codes: 0 Mode 1 (2048), 2 Mode 2 Form 1 (2048), 3
// Mode 2 (2336), 5 and 6 raw Mode 1 and Mode 2 (2352), 0x11 and 0x0F the same
// with subchannel (2448) are data; 7 and 0x10 audio (2352, 2448). The origin
// is the first data track's INDEX 1. False, with *why set to a phrase that
// follows the file's name, without a footer, for a chunk list that does not
// start inside the tail or runs past the footer, no track list before
// "END!", a track list whose count or entries do not fit its chunk, tracks
// out of order, in part sectors or not before the chunk list, an unknown mode
// (track at once) or a sector size that is not its mode's, and no data
// track or an empty one.
bool read_disc(const uint8_t* tail, size_t tail_len, uint64_t file_size, rip::disc_layout* out, std::string* why);


}  // namespace nrg

// cdrdao table-of-contents files (.toc): text that lists TRACK statements,
// each with its mode and the pieces its sectors come from: FILE/AUDIOFILE and
// DATAFILE statements (a file name, an optional "#<byte offset>", a start and
// a length), ZERO and SILENCE (sectors that are in no file), and START or
// PREGAP (where INDEX 1 begins within the track). Comments start with "//";
// CD_TEXT blocks in braces are skipped.
#pragma once
#include <cstddef>

#include "formats/data_track.h"

namespace toc {

// The first track of a data mode (MODE1, MODE1_RAW, MODE2, MODE2_FORM1,
// MODE2_FORM_MIX, MODE2_RAW, a raw mode with RW or RW_RAW subchannel data)
// and where its INDEX 1 sector lies in the file that holds it. False when
// there is none, or when that track's INDEX 1 falls in a ZERO piece or past
// its pieces, or a statement of it is malformed (a start other than mm:ss:ff
// or 0, a position not below 100 minutes). The text ends at its first zero byte.
bool first_data_track(const char* text, size_t len, rip::data_track* out);

}  // namespace toc

// cdrdao table-of-contents files (.toc): text that lists TRACK statements,
// each with its mode and the pieces its sectors come from: FILE/AUDIOFILE and
// DATAFILE statements (a file name, an optional "#<byte offset>", a start and
// a length), ZERO, SILENCE and FIFO (sectors in no file we read), and START or
// PREGAP (where INDEX 1 begins within the track). Comments start with "//";
// CD_TEXT blocks in braces are skipped.
#pragma once
#include <cstddef>

#include "formats/disc_map.h"

namespace toc {

// The tracks as pieces in disc order, one after another as the statements
// list them, at the sector size of their mode (AUDIO 2352, MODE0 2336, MODE1
// 2048, MODE1_RAW 2352, MODE2 2336, MODE2_FORM1 2048, MODE2_FORM2 2324,
// MODE2_FORM_MIX 2336, MODE2_RAW 2352; RW or RW_RAW add 96). A piece without
// a length (or of length 0) runs to its file's end; positions and lengths
// are mm:ss:ff, or samples (audio) or bytes (data) rounded up to whole
// sectors. A file statement's start counts in the track's own sectors from
// its #offset. The origin is the first data track's START (PREGAP: after the
// gap; neither: the track's start). False, with *why set to a phrase that
// follows the file's name, for no data track, a first data track whose
// sectors hold no 2048 bytes we read (MODE1 RW), a START that cannot be
// placed (behind a piece without a length) or beyond the track, more than 99
// tracks, or a malformed statement (an unknown mode, a file without a quoted
// name, a position not below 100 minutes). The text ends at its first zero
// byte.
bool read_disc(const char* text, size_t len, rip::disc_layout* out, std::string* why);


}  // namespace toc

// CD cue sheets: the sectors of the first session, FILE by FILE and TRACK by
// TRACK; and, for sheets that this cannot read, the first quoted name after
// the first "FILE", whose layout is then found by probing the image.
#pragma once
#include <cstddef>
#include <string>

#include "formats/disc_map.h"

namespace cue {

// The text between the first two double quotes after the first "FILE"
// (case exact, anywhere in the text); false when "FILE" or a quote is missing.
bool image_name(const char* text, size_t len, std::string* name);

// The sheet's tracks as pieces in disc order. A track's sectors lie in its
// FILE from its first INDEX (the file's first track: from the file's start)
// up to the next track's first INDEX, the file's last track up to the file's
// end, each at the sector size of its own mode (AUDIO 2352, CDG 2448,
// MODE1/2048, MODE1/2352, MODE2/2048, MODE2/2324, MODE2/2336, MODE2/2352,
// CDI/2336, CDI/2352); positions count from the start of their file, and
// each FILE continues the disc where the one before ended. PREGAP and POSTGAP
// are sectors not stored, before and after the track's own. The origin is
// the INDEX 01 of the first track of a mode with 2048-byte user data (MODE1,
// MODE2 and CDI but MODE2/2324). False, with *why set to a phrase that
// follows the sheet's name ("has no data track (an audio CD?)", "is damaged
// at line 7: 00:60:00 is not a position (mm:ss:ff)"), for no such track, or
// for a sheet out of order: a TRACK before any FILE, track numbers outside
// 1..99 or not rising, another mode, an INDEX out of order, before the last
// one of the track before, or not mm:ss:ff below 100 minutes, a track
// without INDEX 01. Keywords match without regard to case and the FILE's type
// word is not looked at; the text ends at its first zero byte. File names
// come out as written, not checked.
bool read_disc(const char* text, size_t len, rip::disc_layout* out, std::string* why);


// The path of the image named by the sheet at sheet_path: the name unchanged
// when it holds a colon (absolute), else the sheet's folder (up to and
// including its last backslash) in front of it, without the name's one
// leading separator ("\disc2.bin"). Cut to 519 characters.
std::string image_path(const std::string& sheet_path, const std::string& name);

}  // namespace cue

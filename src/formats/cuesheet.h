// CD cue sheets: where the first data track lies (its file, the position of
// its INDEX 01 and its sector layout), and, for sheets that say less than
// that, the first quoted name after the first "FILE", whose layout is then
// found by probing the image.
#pragma once
#include <cstddef>
#include <string>

#include "formats/data_track.h"

namespace cue {

// The text between the first two double quotes after the first "FILE"
// (case exact, anywhere in the text); false when "FILE" or a quote is missing.
bool image_name(const char* text, size_t len, std::string* name);

// The first data track of a sheet: the FILE it is in, the byte position of its
// INDEX 01 in that file (the tracks before it in the same file counted at
// their own sector sizes) and the layout of its mode (MODE1/2048, MODE1/2352,
// MODE2/2048, MODE2/2336, MODE2/2352, CDI/2336, CDI/2352). False when the
// sheet has no such track, or is malformed before it: a TRACK without FILE,
// track numbers outside 1..99 or not rising, an index out of order or not
// in mm:ss:ff, another data mode (MODE2/2324 holds no 2048-byte sectors).
// Keywords match without regard to case; the text ends at its first zero
// byte. The file name is returned as written, not checked.
bool first_data_track(const char* text, size_t len, rip::data_track* out);

// The path of the image named by the sheet at sheet_path: the name unchanged
// when it holds a colon (absolute), else the sheet's folder (up to and
// including its last backslash) in front of it, without the name's one
// leading separator ("\disc2.bin"). Cut to 519 characters.
std::string image_path(const std::string& sheet_path, const std::string& name);

}  // namespace cue

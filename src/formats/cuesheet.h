// The image file that a CD cue sheet names. Only the first quoted name after
// the first "FILE" is used; the sector layout is found by probing the image.
#pragma once
#include <cstddef>
#include <string>

namespace cue {

// The text between the first two double quotes after the first "FILE"
// (case exact, anywhere in the text); false when "FILE" or a quote is missing.
bool image_name(const char* text, size_t len, std::string* name);

// The path of the image named by the sheet at sheet_path: the name unchanged
// when it holds a colon (absolute), else the sheet's folder (up to and including
// its last backslash) in front of it. Cut to 519 characters.
std::string image_path(const std::string& sheet_path, const std::string& name);

}  // namespace cue

// The files a rip's descriptor names: which names it may give, and where the
// file of a name lies beside the descriptor. Every name passes safe_name
// before anything opens it.
#pragma once
#include <string>

namespace rip {

// A name a descriptor may point at: a relative path, one with a single
// leading separator (in the descriptor's folder: "\disc2.bin") or a
// drive-absolute one ("E:\dir\x.bin"), with no device name (CON, NUL, COM1,
// ...; win::is_device_name) as any part, no device or network prefix ("\\.\",
// "\\?\", "\\server"), no stream colon, no wildcard, control or quote
// character, at most 259 characters.
bool safe_name(const std::string& name);

// The path of the named file beside the descriptor at descriptor_path: "*"
// at the name's start stands for the descriptor's own name without its
// extension; an empty name is the descriptor itself; otherwise as a cue
// sheet's image (cue::image_path). Cut to 519 characters.
std::string file_beside(const std::string& descriptor_path, const std::string& name);

}  // namespace rip

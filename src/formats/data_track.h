// Where a disc's first data track lies in a rip: the common answer of the
// descriptor parsers (cue sheet, CloneCD, Alcohol, Nero, cdrdao), and the
// checks every file name read from a descriptor passes before it is opened.
#pragma once
#include <cstdint>
#include <string>

namespace rip {

const uint32_t NO_LAYOUT = 0xFFFFFFFFu;

struct data_track {
    // The file as the descriptor names it. Empty: the descriptor file itself
    // (Nero). "*.ext": the descriptor's own name with that extension
    // (CloneCD, and what Alcohol writes).
    std::string file;
    uint64_t offset = 0;       // byte position of the track's first sector in the file
    uint32_t sector_size = 0;  // 2048, 2336, 2352 or 2448
    uint32_t data_offset = 0;  // where the 2048 user-data bytes start in a sector: 0, 8, 16 or 24
};

// Where user data sits in a sector of this size: mode2 picks the Form 1
// layout (behind an 8-byte subheader) for raw sectors. NO_LAYOUT for a
// sector size that holds no 2048-byte user data we read.
uint32_t user_data_offset(uint32_t sector_size, bool mode2);

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

// The first session of a rip as one map of sectors: which file stores each
// sector of the disc, where in it, and in which layout. Every descriptor
// parser (cue sheet, CloneCD, Alcohol, Nero, cdrdao) describes the session
// as pieces in disc order; place() turns them, with the sizes of the files
// they name, into runs of volume sectors that a read looks up. Sectors that
// the rip did not store (a PREGAP, a ZERO piece, the gap before a track
// written at once) are runs of their own, so that a read there fails by name
// instead of taking another track's bytes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>


namespace rip {

const uint32_t NO_LAYOUT = 0xFFFFFFFFu;

// Where user data sits in a sector of this size: mode2 picks the Form 1
// layout (behind an 8-byte subheader) for raw sectors. NO_LAYOUT for a
// sector size that holds no 2048-byte user data we read.
uint32_t user_data_offset(uint32_t sector_size, bool mode2);

// A piece's sector count when it runs to the end of its file.
const uint64_t TO_FILE_END = UINT64_MAX;
// ISO 9660 numbers sectors in 32 bits: a session that would hold more is
// malformed or malicious.
const uint64_t MAX_VOLUME_SECTORS = uint64_t(1) << 32;
// 99 tracks of a few pieces each, with room to spare: a layout of more
// pieces is malformed or malicious.
const size_t MAX_PIECES = 1000;
// Sectors in 100 minutes: a CD's positions (mm:ss:ff, minutes of two digits)
// stay below it.
const uint64_t CD_FRAMES = 100 * 60 * 75;
// The last sector address (LBA) a CD can have: addresses count from the end
// of the 2-second pregap before the first track, position 00:02:00.
const uint64_t MAX_LBA = CD_FRAMES - 150 - 1;

// Consecutive sectors of one track, stored one after another in one file, or
// not stored at all.
struct piece {
    unsigned track = 0;        // the track's number, 1 to 99
    uint64_t sectors = 0;      // how many; TO_FILE_END: the whole sectors its file holds from offset
    bool stored = true;        // false: a gap that the rip did not store
    std::string file;          // as the descriptor names it ("" the descriptor, "*.ext" its name with that extension)
    uint64_t offset = 0;       // byte position of the first sector in the file
    uint32_t sector_size = 0;  // bytes a sector takes in the file: 2048, 2336, 2352 or 2448 (2324, 2144,
                               // 2420 or 2432 for sectors we do not read)
    uint32_t data_offset = NO_LAYOUT;  // where 2048 bytes of user data start; NO_LAYOUT: none (audio)
};

// What a descriptor says of the first session: its sectors from the first
// one it knows of, and where the first data track's INDEX 01 is, which is
// the volume's sector 0.
struct disc_layout {
    std::vector<piece> pieces;
    size_t origin_piece = 0;     // the piece that holds that INDEX 01
    uint64_t origin_sector = 0;  // and how many sectors into it
};

// Appends a piece that holds sectors (one of none is left out). False, with
// *why set, when the layout already has MAX_PIECES.
bool add_piece(disc_layout* layout, const piece& p, std::string* why);

// Sets *why to what, the reason a descriptor is refused; false.
inline bool fail(std::string* why, const std::string& what) {
    *why = what;
    return false;
}

// What a run of the placed map holds.
enum class held {
    stored,       // sectors in a file
    not_stored,   // a gap that the rip left out
    past_the_end  // sectors the descriptor places beyond the end of their file
};

// A run of volume sectors in the placed map.
struct run {
    uint64_t first = 0;  // the volume sector of its first sector
    uint64_t count = 0;
    unsigned track = 0;
    held what = held::stored;
    size_t file = 0;         // stored: index into disc_map::files
    uint64_t offset = 0;     // byte position of the first sector in that file
    uint32_t sector_size = 0;
    uint32_t data_offset = NO_LAYOUT;
};

struct disc_map {
    std::vector<std::string> files;  // the files the runs read, as named, each once
    std::vector<run> runs;           // one after another from volume sector 0, none empty
    // Volume sectors up to the end of the last run.
    uint64_t sectors() const { return runs.empty() ? 0 : runs.back().first + runs.back().count; }
    // The run that holds the volume sector, or null past the last one.
    const run* find(uint64_t sector) const;
};

// The size in bytes of a file named by a piece; false, with *why set (as
// for place), when it cannot be had.
using file_size_fn = std::function<bool(const std::string& file, uint64_t* size, std::string* why)>;

// Places the layout's pieces from the volume's sector 0 on (sectors before it
// are dropped, and the files of pieces before the origin's are not asked
// for). A sector of a stored piece is stored when its file holds its user
// data whole (all of it for audio); the rest of the piece is past the end.
// A file after the origin's whose size cannot be had holds no sector (its
// piece is past the end), and ends the map where its piece runs to its
// end. False, with *why set to a phrase that follows the descriptor's name
// ("names x.bin, which is not there", from file_size), when the origin's
// file cannot be had, the origin lies outside the pieces, or the volume
// exceeds MAX_VOLUME_SECTORS.
bool place(const disc_layout& layout, const file_size_fn& file_size, disc_map* out, std::string* why);

// The map of a bare image: the whole file from its start, in one layout.
disc_map single_file(const std::string& file, uint64_t file_size, uint32_t sector_size, uint32_t data_offset);

}  // namespace rip

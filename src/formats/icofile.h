// Icon files (.ico) and icon groups as byte buffers: the checks on an icon file
// read from a disc, the group icon directory (RT_GROUP_ICON data) that lists its
// images, and the reverse, an icon file image assembled from a program's icon
// group and its RT_ICON resources. The resource calls themselves live elsewhere.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace ico {

const size_t HEADER_SIZE = 6;       // reserved, type, count
const size_t FILE_ENTRY_SIZE = 16;  // directory entry of an icon file
const size_t GROUP_ENTRY_SIZE = 14; // entry of a group icon directory

// Outcome of the two checks made before anything is written.
enum class status { ok, not_ico, truncated };

// The log text of a failed check; null for ok.
const char* message(status s);

// The text for an image whose range lies outside the file.
extern const char* const OUT_OF_RANGE;

// Where one image of an icon file lies: `length` bytes at `bytes`, which is
// `offset` bytes into the file.
struct range {
    const uint8_t* bytes;
    uint64_t offset;
    uint32_t length;
};

// A checked view of an icon file image in memory; it keeps a pointer to the
// bytes, which must outlive it. Only the directory is checked up front, each
// image's range is checked when it is asked for, so a caller can work through
// the images in order and stop at the first bad one.
class file_view {
public:
    file_view(const uint8_t* data, uint64_t len);

    status state() const { return state_; }
    // The image count; 0 unless state() is ok.
    unsigned count() const { return state_ == status::ok ? count_ : 0; }
    // Image i (1-based); nullopt when i is not 1..count() or offset + length > len.
    std::optional<range> image(unsigned i) const;
    // The group icon directory: 6 + 14 * count() bytes, entry i carrying the
    // first 8 bytes of directory entry i, its image length and the id i.
    // Empty when state() is not ok or the memory cannot be had.
    std::vector<uint8_t> group_dir() const;

private:
    const uint8_t* data_;
    uint64_t len_;
    unsigned count_ = 0;
    status state_;
};

// A resource found in a program file: `size` bytes at `data`.
struct resource {
    const uint8_t* data;
    uint32_t size;
};

// Finds the RT_ICON resource with this id; nullopt when the program has none.
using icon_lookup = std::function<std::optional<resource>(uint16_t id)>;

enum class group_status {
    ok,
    bad_group,  // 5 bytes or shorter, count 0, or shorter than 6 + 14 * count
    too_large,  // the images together exceed MAX_FILE_SIZE
    no_memory,
};

// Upper bound of an assembled icon file. A real icon group, PNG images
// included, takes a few MiB at most; a group that lists one large resource
// thousands of times could otherwise ask for gigabytes.
const uint64_t MAX_FILE_SIZE = 64ull << 20;

// Assembles the icon file image of an icon group: header, one directory entry
// per group entry in the group's order (its first 8 bytes, the found image's
// size and offset) and the images one after another. An id that lookup does
// not find gets length 0 and the offset where the next image starts.
// On anything but ok, out is left empty.
group_status file_from_group(const uint8_t* group, uint64_t len, const icon_lookup& lookup,
                             std::vector<uint8_t>& out) noexcept;

}  // namespace ico

// Alcohol media descriptors: the first data track.
#include "formats/mds.h"

#include <cstring>
#include <string>

#include "formats/bytes.h"

namespace mds {

namespace {

const size_t HEADER = 0x58;
const size_t SESSION = 24;
const size_t TRACK = 80;
const size_t NAME_BLOCK = 16;
const size_t MAX_NAME = 259;

// Header fields.
const size_t H_SESSIONS = 0x14, H_SESSION_OFFSET = 0x50;
// Session fields.
const size_t S_BLOCKS = 0x0A, S_TRACK_OFFSET = 0x14;
// Track block fields.
const size_t T_MODE = 0x00, T_POINT = 0x04, T_SECTOR_SIZE = 0x10, T_START_OFFSET = 0x28,
             T_FILES = 0x30, T_NAME_OFFSET = 0x34;
static_assert(T_NAME_OFFSET + 4 <= TRACK, "track block fields");

// The low four bits of a track's mode byte: audio 9, Mode 1 0xA, Mode 2
// formless 0xB, Form 1 0xC, Form 2 0xD.
enum { MODE1 = 0xA, MODE2 = 0xB, FORM1 = 0xC };

// True when [off, off + n) lies inside len bytes.
bool inside(uint64_t off, uint64_t n, size_t len) { return off <= len && n <= len - off; }

// The name at off: 8-bit characters, or UTF-16LE units when wide, up to a zero.
bool read_name(const uint8_t* data, size_t len, uint64_t off, bool wide, std::string* name) {
    name->clear();
    const size_t unit = wide ? 2 : 1;
    for (uint64_t at = off;; at += unit) {
        if (!inside(at, unit, len)) return false;
        uint32_t c = wide ? fmt::le16(data + at) : data[at];
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDFFF) return false;
        if (c < 0x80 || !wide) {
            name->push_back(char(c));
        } else if (c < 0x800) {
            name->push_back(char(0xC0 | c >> 6));
            name->push_back(char(0x80 | (c & 0x3F)));
        } else {
            name->push_back(char(0xE0 | c >> 12));
            name->push_back(char(0x80 | (c >> 6 & 0x3F)));
            name->push_back(char(0x80 | (c & 0x3F)));
        }
        if (name->size() > MAX_NAME) return false;
    }
    return !name->empty();
}

}  // namespace

bool first_data_track(const uint8_t* data, size_t len, rip::data_track* out) {
    if (len < HEADER || memcmp(data, "MEDIA DESCRIPTOR", 16) != 0) return false;
    if (fmt::le16(data + H_SESSIONS) == 0) return false;
    const uint64_t session = fmt::le32(data + H_SESSION_OFFSET);
    if (!inside(session, SESSION, len)) return false;
    const uint32_t blocks = data[session + S_BLOCKS];
    const uint64_t tracks = fmt::le32(data + session + S_TRACK_OFFSET);
    if (!inside(tracks, uint64_t(blocks) * TRACK, len)) return false;

    const uint8_t* best = nullptr;
    for (uint32_t i = 0; i < blocks; i++) {
        const uint8_t* t = data + tracks + size_t(i) * TRACK;
        const uint8_t point = t[T_POINT], mode = t[T_MODE] & 0x0F;
        // Points 0xA0 and above are table-of-contents entries, not tracks.
        if (point == 0 || point > 99 || (mode != MODE1 && mode != MODE2 && mode != FORM1)) continue;
        if (!best || point < best[T_POINT]) best = t;
    }
    if (!best) return false;

    const uint32_t sector_size = fmt::le16(best + T_SECTOR_SIZE);
    const uint32_t data_offset = rip::user_data_offset(sector_size, (best[T_MODE] & 0x0F) != MODE1);
    if (data_offset == rip::NO_LAYOUT || fmt::le32(best + T_FILES) == 0) return false;
    const uint64_t name_block = fmt::le32(best + T_NAME_OFFSET);
    if (!inside(name_block, NAME_BLOCK, len)) return false;
    std::string name;
    if (!read_name(data, len, fmt::le32(data + name_block), data[name_block + 4] != 0, &name)) return false;

    out->file = name;
    out->offset = fmt::le64(best + T_START_OFFSET);
    out->sector_size = sector_size;
    out->data_offset = data_offset;
    return true;
}

}  // namespace mds

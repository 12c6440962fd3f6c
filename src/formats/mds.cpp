// Alcohol media descriptors: the tracks of the first session in the .mdf.
#include "formats/mds.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "formats/utf8.h"

namespace mds {

namespace {

const size_t HEADER = 0x58;
const size_t SESSION = 24;
const size_t TRACK = 80;
const size_t EXTRA = 8;
const size_t NAME_BLOCK = 16;
const size_t MAX_NAME = 259;
// Byte offsets past this lie beyond any file: a start offset there is a lie.
const uint64_t MAX_OFFSET = uint64_t(1) << 48;

// Header fields.
const size_t H_SESSIONS = 0x14, H_SESSION_OFFSET = 0x50;
// Session fields.
const size_t S_BLOCKS = 0x0A, S_TRACK_OFFSET = 0x14;
// Track block fields.
const size_t T_MODE = 0x00, T_POINT = 0x04, T_EXTRA_OFFSET = 0x0C, T_SECTOR_SIZE = 0x10, T_START_SECTOR = 0x24,
             T_START_OFFSET = 0x28, T_FILES = 0x30, T_NAME_OFFSET = 0x34;
static_assert(T_NAME_OFFSET + 4 <= TRACK, "track block fields");
// Extra block fields: the pregap and the length, in sectors.
const size_t E_PREGAP = 0, E_LENGTH = 4;

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
        if (wide)
            text8::put_utf8(name, c);
        else
            name->push_back(char(c));
        if (name->size() > MAX_NAME) return false;
    }
    return !name->empty();
}

struct track {
    unsigned number;
    const uint8_t* block;
};

using rip::fail;

}  // namespace

bool read_disc(const uint8_t* data, size_t len, rip::disc_layout* out, std::string* why) {
    *out = rip::disc_layout();
    if (len < HEADER || memcmp(data, "MEDIA DESCRIPTOR", 16) != 0)
        return fail(why, "is not an Alcohol descriptor: it lacks the MEDIA DESCRIPTOR signature");
    if (fmt::le16(data + H_SESSIONS) == 0) return fail(why, "is damaged: it lists no session");
    const uint64_t session = fmt::le32(data + H_SESSION_OFFSET);
    if (!inside(session, SESSION, len)) return fail(why, "is damaged: its session lies outside the file");
    const uint32_t blocks = data[session + S_BLOCKS];
    const uint64_t blocks_at = fmt::le32(data + session + S_TRACK_OFFSET);
    if (!inside(blocks_at, uint64_t(blocks) * TRACK, len))
        return fail(why, "is damaged: its track list lies outside the file");

    // The tracks in track order; points 0xA0 and above are table-of-contents entries.
    std::vector<track> tracks;
    for (uint32_t i = 0; i < blocks; i++) {
        const uint8_t* b = data + blocks_at + size_t(i) * TRACK;
        if (b[T_POINT] >= 1 && b[T_POINT] <= 99) tracks.push_back({b[T_POINT], b});
    }
    std::sort(tracks.begin(), tracks.end(), [](const track& a, const track& b) { return a.number < b.number; });

    bool found = false;
    int64_t disc_at = 0;     // the sector after the track before
    uint64_t file_end = 0;   // the byte after the track before in its file
    std::string last_file;
    for (size_t k = 0; k < tracks.size(); k++) {
        const uint8_t* b = tracks[k].block;
        const std::string name = "track " + std::to_string(tracks[k].number);
        if (k > 0 && tracks[k - 1].number == tracks[k].number)
            return fail(why, "is damaged: " + name + " is listed twice");
        const uint32_t size = fmt::le16(b + T_SECTOR_SIZE);
        if (size != 2048 && size != 2336 && size != 2352 && size != 2448)
            return fail(why, "is damaged: " + name + " has sectors of " + std::to_string(size) + " bytes");
        const uint64_t extra = fmt::le32(b + T_EXTRA_OFFSET);
        if (extra == 0 || !inside(extra, EXTRA, len))
            return fail(why, "is damaged: the length of " + name + " lies outside the file");
        const uint64_t start = fmt::le32(b + T_START_SECTOR), pregap = fmt::le32(data + extra + E_PREGAP),
                       length = fmt::le32(data + extra + E_LENGTH), offset = fmt::le64(b + T_START_OFFSET);
        if (start > rip::MAX_LBA || pregap >= rip::CD_FRAMES || length >= rip::CD_FRAMES || offset > MAX_OFFSET)
            return fail(why, "is damaged: " + name + " lies beyond the end of a CD");
        const uint32_t files = fmt::le32(b + T_FILES);
        if (files == 0) return fail(why, "is damaged: " + name + " is in no file");
        if (files > 1) return fail(why, "splits " + name + " over several files, which this setup does not read");
        const uint64_t name_block = fmt::le32(b + T_NAME_OFFSET);
        rip::piece p;
        if (!inside(name_block, NAME_BLOCK, len) ||
            !read_name(data, len, fmt::le32(data + name_block), data[name_block + 4] != 0, &p.file))
            return fail(why, "is damaged: the file name of " + name + " lies outside the file or is no name");
        if (p.file != last_file) file_end = 0;
        last_file = p.file;

        const unsigned mode = b[T_MODE] & 0x0F;
        const bool is_data = mode == MODE1 || mode == MODE2 || mode == FORM1;
        p.track = tracks[k].number;
        p.sector_size = size;
        p.data_offset = is_data ? rip::user_data_offset(size, mode != MODE1) : rip::NO_LAYOUT;

        // Sectors between the track before and this one's pregap are not stored.
        const int64_t pregap_at = int64_t(start) - int64_t(pregap);
        if (k > 0 && pregap_at < disc_at)
            return fail(why, "is damaged: " + name + " starts before track " + std::to_string(tracks[k - 1].number) +
                                 " ends");
        rip::piece gap = p;
        gap.stored = false;
        gap.file.clear();
        gap.sectors = k > 0 ? uint64_t(pregap_at - disc_at) : 0;
        if (!rip::add_piece(out, gap, why)) return false;
        rip::piece before = p;
        before.sectors = pregap;
        before.stored = offset >= file_end && offset - file_end >= pregap * size;
        if (before.stored) {
            before.offset = offset - pregap * size;
        } else {
            before.file.clear();
        }
        if (!rip::add_piece(out, before, why)) return false;
        p.offset = offset;
        p.sectors = length;
        if (!rip::add_piece(out, p, why)) return false;
        if (is_data && !found) {
            if (length == 0) return fail(why, "is damaged: its data track, " + name + ", holds no sectors");
            found = true;
            out->origin_piece = out->pieces.size() - 1;
            out->origin_sector = 0;
        }
        disc_at = int64_t(start + length);
        file_end = offset + length * size;
    }
    return found || fail(why, "has no data track (an audio CD?)");
}

}  // namespace mds

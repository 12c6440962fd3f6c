// Nero images: the first session's tracks, from the chunk list at the file's end.
#include "formats/nrg.h"

#include <cstring>
#include <string>

#include "formats/bytes.h"

namespace nrg {

namespace {

// Disc-at-once bodies: a 22-byte head (length, UPC, TOC type, first and
// last track number), then one entry per track.
const size_t DAO_HEAD = 22, DAO_FIRST = 20, DAO_LAST = 21;
const size_t DAOI_TRACK = 30, DAOX_TRACK = 42;
const size_t DAO_SECTOR_SIZE = 12, DAO_MODE = 14, DAO_INDEX0 = 18;
// Track-at-once entries: offset, length, mode, start sector (32 bits each in
// ETNF; 64, 64, 32 and 32 bits in ETN2), then a spare field.
const size_t ETNF_TRACK = 20, ETN2_TRACK = 32;
const uint64_t TAO_GAP = 150;

struct mode_info {
    uint32_t code, sector_size;
    bool data, mode2;
};
const mode_info modes[] = {
    {0x00, 2048, true, false}, {0x02, 2048, true, true},   {0x03, 2336, true, true},
    {0x05, 2352, true, false}, {0x06, 2352, true, true},   {0x0F, 2448, true, true},
    {0x11, 2448, true, false}, {0x07, 2352, false, false}, {0x10, 2448, false, false},
};

const mode_info* mode_of(uint32_t code) {
    for (const mode_info& m : modes)
        if (m.code == code) return &m;
    return nullptr;
}

using rip::fail;

// Adds a track's sectors, stored in the image from byte from up to byte to. The
// first data track's first one is the origin when origin is set.
bool add_track(rip::disc_layout* out, unsigned track, uint64_t from, uint64_t to, uint32_t size, uint32_t data_offset,
               bool origin, std::string* why) {
    rip::piece p;
    p.track = track;
    p.offset = from;
    p.sectors = (to - from) / size;
    p.sector_size = size;
    p.data_offset = data_offset;
    if (!rip::add_piece(out, p, why)) return false;
    if (origin) {
        out->origin_piece = out->pieces.size() - 1;
        out->origin_sector = 0;
    }
    return true;
}

// A DAOI or DAOX body. Every track's bytes lie before the chunk list.
bool dao(const uint8_t* b, uint32_t len, bool wide, uint64_t chunks, rip::disc_layout* out, std::string* why) {
    if (len < DAO_HEAD) return fail(why, "is damaged: its disc-at-once track list is cut short");
    const uint32_t first = b[DAO_FIRST], last = b[DAO_LAST];
    if (first == 0 || first > last || last > 99) return fail(why, "is damaged: its track numbers are out of order");
    const size_t entry = wide ? DAOX_TRACK : DAOI_TRACK;
    const uint32_t count = last - first + 1;
    if (count * entry > len - DAO_HEAD) return fail(why, "is damaged: its track list holds fewer tracks than it says");
    bool found = false;
    uint64_t prev_end = 0;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t* t = b + DAO_HEAD + i * entry;
        const std::string name = "track " + std::to_string(first + i);
        const uint32_t size = fmt::be16(t + DAO_SECTOR_SIZE);
        const mode_info* m = mode_of(t[DAO_MODE]);
        if (m ? size != m->sector_size : size != 2048 && size != 2336 && size != 2352 && size != 2448)
            return fail(why, "is damaged: " + name + " has sectors of " + std::to_string(size) + " bytes");
        const uint8_t* idx = t + DAO_INDEX0;
        const uint64_t index0 = wide ? fmt::be64(idx) : fmt::be32(idx);
        const uint64_t index1 = wide ? fmt::be64(idx + 8) : fmt::be32(idx + 4);
        const uint64_t end = wide ? fmt::be64(idx + 16) : fmt::be32(idx + 8);
        if (index0 > index1 || index1 > end || end > chunks)
            return fail(why, "is damaged: " + name + " lies outside the image or out of order");
        if (index0 < prev_end)
            return fail(why, "is damaged: " + name + " starts before track " + std::to_string(first + i - 1) + " ends");
        if ((index1 - index0) % size || (end - index1) % size)
            return fail(why, "is damaged: " + name + " is no whole number of sectors");
        const bool data = m && m->data;
        const uint32_t data_offset = data ? rip::user_data_offset(size, m->mode2) : rip::NO_LAYOUT;
        const bool origin = data && !found;
        if (origin && end == index1) return fail(why, "is damaged: its data track, " + name + ", holds no sectors");
        if (!add_track(out, first + i, index0, index1, size, data_offset, false, why) ||
            !add_track(out, first + i, index1, end, size, data_offset, origin, why))
            return false;
        found = found || origin;
        prev_end = end;
    }
    return found || fail(why, "has no data track (an audio CD?)");
}

// An ETNF or ETN2 body.
bool etn(const uint8_t* b, uint32_t len, bool wide, uint64_t chunks, rip::disc_layout* out, std::string* why) {
    const size_t entry = wide ? ETN2_TRACK : ETNF_TRACK;
    if (len == 0 || len % entry != 0 || len / entry > 99)
        return fail(why, "is damaged: its track-at-once list does not hold 1 to 99 whole tracks");
    bool found = false;
    uint64_t prev_end = 0, disc_at = 0;  // the byte and the sector after the track before
    for (uint32_t i = 0; i < len / entry; i++) {
        const uint8_t* t = b + i * entry;
        const std::string name = "track " + std::to_string(i + 1);
        const uint64_t offset = wide ? fmt::be64(t) : fmt::be32(t);
        const uint64_t length = wide ? fmt::be64(t + 8) : fmt::be32(t + 4);
        const mode_info* m = mode_of(fmt::be32(t + (wide ? 16 : 8)));
        const uint64_t start = fmt::be32(t + (wide ? 20 : 12));
        if (!m) return fail(why, "is damaged: " + name + " has a mode this setup does not know");
        if (offset > chunks || length > chunks - offset)
            return fail(why, "is damaged: " + name + " lies outside the image");
        if (offset < prev_end)
            return fail(why, "is damaged: " + name + " starts before track " + std::to_string(i) + " ends");
        if (length % m->sector_size) return fail(why, "is damaged: " + name + " is no whole number of sectors");
        const uint64_t sector = start + TAO_GAP * i;
        if (sector > rip::MAX_LBA)
            return fail(why, "is damaged: " + name + " starts beyond the end of a CD");
        if (i > 0) {
            if (sector < disc_at)
                return fail(why, "is damaged: " + name + " starts before track " + std::to_string(i) + " ends");
            rip::piece gap;
            gap.track = i + 1;
            gap.stored = false;
            gap.sectors = sector - disc_at;
            gap.sector_size = m->sector_size;
            if (!rip::add_piece(out, gap, why)) return false;
        }
        const uint32_t data_offset = m->data ? rip::user_data_offset(m->sector_size, m->mode2) : rip::NO_LAYOUT;
        const bool origin = m->data && !found;
        if (origin && length == 0) return fail(why, "is damaged: its data track, " + name + ", holds no sectors");
        if (!add_track(out, i + 1, offset, offset + length, m->sector_size, data_offset, origin, why)) return false;
        found = found || origin;
        prev_end = offset + length;
        disc_at = sector + length / m->sector_size;
    }
    return found || fail(why, "has no data track (an audio CD?)");
}

}  // namespace

bool read_disc(const uint8_t* tail, size_t tail_len, uint64_t file_size, rip::disc_layout* out, std::string* why) {
    *out = rip::disc_layout();
    if (tail_len > file_size) return fail(why, "is damaged: it is shorter than was read of it");
    uint64_t chunks;
    size_t footer;
    if (tail_len >= 12 && memcmp(tail + tail_len - 12, "NER5", 4) == 0) {
        chunks = fmt::be64(tail + tail_len - 8);
        footer = 12;
    } else if (tail_len >= 8 && memcmp(tail + tail_len - 8, "NERO", 4) == 0) {
        chunks = fmt::be32(tail + tail_len - 4);
        footer = 8;
    } else {
        return fail(why, "is not a Nero image: it ends without a Nero footer");
    }
    const uint64_t tail_start = file_size - tail_len;
    if (chunks < tail_start || chunks > file_size - footer)
        return fail(why, "is damaged: its Nero chunk list lies outside the file");
    const size_t list_end = tail_len - footer;
    for (size_t pos = size_t(chunks - tail_start); list_end - pos >= 8;) {
        const uint8_t* id = tail + pos;
        const uint32_t len = fmt::be32(id + 4);
        if (memcmp(id, "END!", 4) == 0) break;
        // Every chunk lies before the footer; a length past it is a lie, and a
        // walk that only moves forward cannot loop.
        if (len > list_end - pos - 8) return fail(why, "is damaged: its Nero chunk list runs past the end");
        const uint8_t* body = id + 8;
        // The first track list is the first session's.
        if (!memcmp(id, "DAOX", 4) || !memcmp(id, "DAOI", 4)) return dao(body, len, id[3] == 'X', chunks, out, why);
        if (!memcmp(id, "ETN2", 4) || !memcmp(id, "ETNF", 4)) return etn(body, len, id[3] == '2', chunks, out, why);
        pos += 8 + size_t(len);
    }
    return fail(why, "is damaged: its Nero chunk list has no track list");
}

}  // namespace nrg

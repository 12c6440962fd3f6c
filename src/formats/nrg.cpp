// Nero images: the first data track, from the chunk list at the file's end.
#include "formats/nrg.h"

#include <cstring>

#include "formats/bytes.h"

namespace nrg {

namespace {

// Disc-at-once bodies: a 22-byte head (length, UPC, TOC type, first and
// last track number), then one entry per track.
const size_t DAO_HEAD = 22, DAO_FIRST = 20, DAO_LAST = 21;
const size_t DAOI_TRACK = 30, DAOX_TRACK = 42;
const size_t DAO_SECTOR_SIZE = 12, DAO_MODE = 14, DAO_INDEX0 = 18;
// Track-at-once entries: offset, length, mode (32-bit each in ETNF; 64, 64
// and 32 bits in ETN2), then the start sector and a spare field.
const size_t ETNF_TRACK = 20, ETN2_TRACK = 32;

struct mode_info {
    uint32_t code, sector_size;
    bool mode2;
};
// Mode codes of both chunk kinds and the sectors they stand for. Audio
// (7, 0x10) and anything unknown is no data track.
const mode_info modes[] = {
    {0x00, 2048, false}, {0x02, 2048, true},  {0x03, 2336, true},  {0x05, 2352, false},
    {0x06, 2352, true},  {0x0F, 2448, true},  {0x11, 2448, false},
};

const mode_info* data_mode(uint32_t code) {
    for (const mode_info& m : modes)
        if (m.code == code) return &m;
    return nullptr;
}

bool place(uint64_t start, uint64_t end, uint64_t chunks, uint32_t size, bool mode2,
           rip::data_track* out) {
    // The track's sectors lie in the file before the chunk list.
    if (start > end || end > chunks) return false;
    out->file.clear();
    out->offset = start;
    out->sector_size = size;
    out->data_offset = rip::user_data_offset(size, mode2);
    return out->data_offset != rip::NO_LAYOUT;
}

// A DAOI or DAOX body: false when it is malformed; *found when it has a data track.
bool dao(const uint8_t* b, uint32_t len, bool wide, uint64_t chunks, bool* found, rip::data_track* out) {
    if (len < DAO_HEAD) return false;
    const uint32_t first = b[DAO_FIRST], last = b[DAO_LAST];
    if (first == 0 || first > last || last > 99) return false;
    const size_t entry = wide ? DAOX_TRACK : DAOI_TRACK;
    const uint32_t count = last - first + 1;
    if (count * entry > len - DAO_HEAD) return false;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t* t = b + DAO_HEAD + i * entry;
        const mode_info* m = data_mode(t[DAO_MODE]);
        if (!m) continue;
        const uint32_t size = fmt::be16(t + DAO_SECTOR_SIZE);
        const uint8_t* idx = t + DAO_INDEX0;
        const uint64_t index1 = wide ? fmt::be64(idx + 8) : fmt::be32(idx + 4);
        const uint64_t end = wide ? fmt::be64(idx + 16) : fmt::be32(idx + 8);
        if (size != m->sector_size || !place(index1, end, chunks, size, m->mode2, out)) return false;
        *found = true;
        return true;
    }
    return true;
}

// An ETNF or ETN2 body, as dao.
bool etn(const uint8_t* b, uint32_t len, bool wide, uint64_t chunks, bool* found, rip::data_track* out) {
    const size_t entry = wide ? ETN2_TRACK : ETNF_TRACK;
    if (len % entry != 0 || len / entry > 99) return false;
    for (uint32_t i = 0; i < len / entry; i++) {
        const uint8_t* t = b + i * entry;
        const uint64_t offset = wide ? fmt::be64(t) : fmt::be32(t);
        const uint64_t length = wide ? fmt::be64(t + 8) : fmt::be32(t + 4);
        const mode_info* m = data_mode(fmt::be32(t + (wide ? 16 : 8)));
        if (!m) continue;
        if (length > UINT64_MAX - offset || !place(offset, offset + length, chunks, m->sector_size, m->mode2, out))
            return false;
        *found = true;
        return true;
    }
    return true;
}

}  // namespace

bool first_data_track(const uint8_t* tail, size_t tail_len, uint64_t file_size, rip::data_track* out) {
    if (tail_len > file_size) return false;
    uint64_t chunks;
    size_t footer;
    if (tail_len >= 12 && memcmp(tail + tail_len - 12, "NER5", 4) == 0) {
        chunks = fmt::be64(tail + tail_len - 8);
        footer = 12;
    } else if (tail_len >= 8 && memcmp(tail + tail_len - 8, "NERO", 4) == 0) {
        chunks = fmt::be32(tail + tail_len - 4);
        footer = 8;
    } else {
        return false;
    }
    const uint64_t tail_start = file_size - tail_len;
    if (chunks < tail_start || chunks > file_size - footer) return false;
    const size_t list_end = tail_len - footer;
    for (size_t pos = size_t(chunks - tail_start); list_end - pos >= 8;) {
        const uint8_t* id = tail + pos;
        const uint32_t len = fmt::be32(id + 4);
        if (memcmp(id, "END!", 4) == 0) break;
        // Every chunk lies before the footer; a length past it is a lie, and a
        // walk that only moves forward cannot loop.
        if (len > list_end - pos - 8) return false;
        const uint8_t* body = id + 8;
        bool found = false, ok = true;
        if (!memcmp(id, "DAOX", 4) || !memcmp(id, "DAOI", 4))
            ok = dao(body, len, id[3] == 'X', chunks, &found, out);
        else if (!memcmp(id, "ETN2", 4) || !memcmp(id, "ETNF", 4))
            ok = etn(body, len, id[3] == '2', chunks, &found, out);
        if (!ok) return false;
        if (found) return true;
        pos += 8 + size_t(len);
    }
    return false;
}

}  // namespace nrg

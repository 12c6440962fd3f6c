// What every rip parser promises of a layout it returns, checked on its own
// terms: pieces in track order within their bounds, the origin on a data
// sector inside them, names that are safe to open short enough, and a map
// placed from it in order. And the texts of descriptors printed from a
// layout, for round trips.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/descriptor_names.h"
#include "formats/disc_map.h"

inline void check_layout(const rip::disc_layout& l) {
    if (l.pieces.empty() || l.pieces.size() > rip::MAX_PIECES || l.origin_piece >= l.pieces.size()) abort();
    unsigned track = 1;
    for (const rip::piece& p : l.pieces) {
        if (p.track < track || p.track > 99) abort();
        track = p.track;
        if (p.sectors == 0 || (!p.stored && p.sectors == rip::TO_FILE_END)) abort();
        if (p.sectors != rip::TO_FILE_END && p.sectors >= rip::CD_FRAMES) abort();
        if (p.sector_size < 2048 || p.sector_size > 2448) abort();
        if (p.data_offset != rip::NO_LAYOUT && p.data_offset != rip::user_data_offset(p.sector_size, false) &&
            p.data_offset != rip::user_data_offset(p.sector_size, true))
            abort();
        if (!p.stored && (!p.file.empty() || p.offset != 0)) abort();
        // Names come back as written, of any length; only what passes the name
        // check may be opened, and that is short and lands in a path buffer.
        if (memchr(p.file.data(), 0, p.file.size())) abort();
        if (rip::safe_name(p.file) &&
            (p.file.size() > 259 || rip::file_beside(std::string(600, 'd') + ".x", p.file).size() > 519))
            abort();
    }
    const rip::piece& o = l.pieces[l.origin_piece];
    if (o.data_offset == rip::NO_LAYOUT) abort();
    if (o.sectors != rip::TO_FILE_END && l.origin_sector >= o.sectors) abort();
    // No data piece before the origin's track: the origin is the first data track's.
    for (size_t i = 0; i < l.origin_piece; i++)
        if (l.pieces[i].data_offset != rip::NO_LAYOUT && l.pieces[i].track != o.track) abort();

    // Placed with every file a few sectors long, the runs follow each other from 0.
    rip::disc_map map;
    std::string why;
    const bool placed = rip::place(
        l,
        [](const std::string& file, uint64_t* size, std::string*) {
            *size = 2448 * (file.size() % 7) + file.size();
            return true;
        },
        &map, &why);
    if (!placed) {
        if (o.sectors != rip::TO_FILE_END) abort();  // only an origin past a short file's end fails
        return;
    }
    uint64_t next = 0;
    for (const rip::run& r : map.runs) {
        if (r.first != next || r.count == 0 || (r.what != rip::held::not_stored && r.file >= map.files.size())) abort();
        next = r.first + r.count;
    }
}

inline bool same_layout(const rip::disc_layout& a, const rip::disc_layout& b) {
    if (a.pieces.size() != b.pieces.size() || a.origin_piece != b.origin_piece || a.origin_sector != b.origin_sector)
        return false;
    for (size_t i = 0; i < a.pieces.size(); i++) {
        const rip::piece &p = a.pieces[i], &q = b.pieces[i];
        if (p.track != q.track || p.sectors != q.sectors || p.stored != q.stored || p.file != q.file ||
            p.offset != q.offset || p.sector_size != q.sector_size || p.data_offset != q.data_offset)
            return false;
    }
    return true;
}

// mm:ss:ff of a count of frames below 100 minutes.
inline std::string msf_text(uint64_t frames) {
    char s[16];
    snprintf(s, sizeof s, "%02u:%02u:%02u", unsigned(frames / 4500), unsigned(frames / 75 % 60), unsigned(frames % 75));
    return s;
}

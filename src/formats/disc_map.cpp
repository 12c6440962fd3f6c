// The first session of a rip as one map of sectors.
#include "formats/disc_map.h"

#include <algorithm>

#include "formats/iso9660.h"

namespace rip {

uint32_t user_data_offset(uint32_t sector_size, bool mode2) {
    switch (sector_size) {
    case 2048: return 0;
    case 2336: return 8;
    case 2352:
    case 2448: return mode2 ? 24 : 16;
    default: return NO_LAYOUT;
    }
}

namespace {

// The sectors of a piece whose bytes a file of file_size holds from offset:
// for data the 2048 user-data bytes must be there, for audio the whole sector.
uint64_t whole_sectors(const piece& p, uint64_t file_size) {
    const uint64_t need = p.data_offset == NO_LAYOUT ? p.sector_size : uint64_t(p.data_offset) + ISO_SECTOR;
    if (p.sector_size == 0 || file_size < p.offset || file_size - p.offset < need) return 0;
    return (file_size - p.offset - need) / p.sector_size + 1;
}

size_t file_index(disc_map* map, const std::string& file) {
    auto at = std::find(map->files.begin(), map->files.end(), file);
    if (at != map->files.end()) return size_t(at - map->files.begin());
    map->files.push_back(file);
    return map->files.size() - 1;
}

// Adds the piece's sectors [begin, end) that lie at or after its sector
// skip (the origin), the first of them at volume sector at.
void add_run(disc_map* map, run r, uint64_t begin, uint64_t end, uint64_t skip, uint64_t at) {
    begin = std::max(begin, skip);
    if (end <= begin) return;
    if (r.what != held::not_stored) r.offset += begin * r.sector_size;
    r.first = at + (begin - skip);
    r.count = end - begin;
    map->runs.push_back(r);
}

}  // namespace

const run* disc_map::find(uint64_t sector) const {
    auto after = std::upper_bound(runs.begin(), runs.end(), sector,
                                  [](uint64_t s, const run& r) { return s < r.first; });
    if (after == runs.begin()) return nullptr;
    const run& r = *std::prev(after);
    return sector - r.first < r.count ? &r : nullptr;
}

bool add_piece(disc_layout* layout, const piece& p, std::string* why) {
    if (p.sectors == 0) return true;
    if (layout->pieces.size() >= MAX_PIECES) {
        *why = "is damaged: it describes more pieces of tracks than a CD can hold";
        return false;
    }
    layout->pieces.push_back(p);
    return true;
}

bool place(const disc_layout& layout, const file_size_fn& file_size, disc_map* out, std::string* why) {
    *out = disc_map();
    if (layout.origin_piece >= layout.pieces.size()) {
        *why = "does not say where its data track starts";
        return false;
    }
    uint64_t at = 0;  // the volume sector where the next piece starts
    for (size_t i = layout.origin_piece; i < layout.pieces.size(); i++) {
        const piece& p = layout.pieces[i];
        uint64_t count = p.sectors, stored = 0;
        bool missing = false;
        if (p.stored) {
            uint64_t size = 0;
            if (!file_size(p.file, &size, why)) {
                // Only the data track's file must be there: a file after it
                // that is missing (an audio track left out of a copy, say)
                // holds no sector, and ends the map where its length is open.
                if (i == layout.origin_piece) return false;
                if (count == TO_FILE_END) break;
                missing = true;
            }
            stored = missing ? 0 : whole_sectors(p, size);
            if (count == TO_FILE_END) count = stored;
            stored = std::min(stored, count);
        } else if (count == TO_FILE_END) {
            *why = "leaves the length of a gap open";
            return false;
        }
        uint64_t skip = 0;  // the piece's sectors before the origin
        if (i == layout.origin_piece) {
            if (layout.origin_sector >= count && !(count == 0 && layout.origin_sector == 0)) {
                *why = "places its data track outside its sectors";
                return false;
            }
            skip = layout.origin_sector;
        }
        if (count - skip > MAX_VOLUME_SECTORS - at) {
            *why = "describes more sectors than a disc can number";
            return false;
        }
        run r;
        r.track = p.track;
        r.sector_size = p.sector_size;
        r.data_offset = p.data_offset;
        if (!p.stored) {
            r.what = held::not_stored;
            add_run(out, r, 0, count, skip, at);
        } else {
            r.file = file_index(out, p.file);
            r.offset = p.offset;
            add_run(out, r, 0, stored, skip, at);
            r.what = held::past_the_end;
            add_run(out, r, stored, count, skip, at);
        }
        at += count - skip;
    }
    return true;
}

disc_map single_file(const std::string& file, uint64_t file_size, uint32_t sector_size, uint32_t data_offset) {
    piece p;
    p.track = 1;
    p.sectors = TO_FILE_END;
    p.file = file;
    p.sector_size = sector_size;
    p.data_offset = data_offset;
    disc_layout layout;
    layout.pieces.push_back(p);
    disc_map map;
    std::string why;
    place(layout, [file_size](const std::string&, uint64_t* size, std::string*) {
        *size = file_size;
        return true;
    }, &map, &why);
    return map;
}

}  // namespace rip

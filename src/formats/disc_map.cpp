// The first session of a rip as one map of sectors.
#include "formats/disc_map.h"

#include <algorithm>

#include "formats/iso9660.h"

namespace rip {

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

// Adds sectors [begin, end) of the session, at volume sector begin - origin,
// cut to what lies at or after the origin.
void add_run(disc_map* map, run r, uint64_t begin, uint64_t end, uint64_t origin) {
    if (end <= origin) return;
    if (begin < origin) {
        if (r.what == held::stored) r.offset += (origin - begin) * r.sector_size;
        begin = origin;
    }
    r.first = begin - origin;
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

bool place(const disc_layout& layout, const file_size_fn& file_size, disc_map* out, std::string* why) {
    *out = disc_map();
    if (layout.origin_piece >= layout.pieces.size()) {
        *why = "does not say where its data track starts";
        return false;
    }
    // Each piece's sector count, and where it starts in the session.
    std::vector<uint64_t> counts, stored_counts;
    uint64_t at = 0, origin = 0;
    for (size_t i = 0; i < layout.pieces.size(); i++) {
        const piece& p = layout.pieces[i];
        uint64_t count = p.sectors, stored = p.sectors;
        if (p.stored) {
            uint64_t size = 0;
            if (!file_size(p.file, &size, why)) return false;
            stored = whole_sectors(p, size);
            if (count == TO_FILE_END) count = stored;
            stored = std::min(stored, count);
        } else if (count == TO_FILE_END) {
            *why = "leaves the length of a gap open";
            return false;
        }
        if (i == layout.origin_piece) {
            if (layout.origin_sector >= count && !(count == 0 && layout.origin_sector == 0)) {
                *why = "places its data track outside its sectors";
                return false;
            }
            origin = at + layout.origin_sector;
        }
        if (count > MAX_VOLUME_SECTORS - at) {
            *why = "describes more sectors than a disc can number";
            return false;
        }
        at += count;
        counts.push_back(count);
        stored_counts.push_back(stored);
    }

    at = 0;
    for (size_t i = 0; i < layout.pieces.size(); i++) {
        const piece& p = layout.pieces[i];
        run r;
        r.track = p.track;
        r.sector_size = p.sector_size;
        r.data_offset = p.data_offset;
        if (!p.stored) {
            r.what = held::not_stored;
            add_run(out, r, at, at + counts[i], origin);
        } else {
            r.file = file_index(out, p.file);
            r.offset = p.offset;
            add_run(out, r, at, at + stored_counts[i], origin);
            r.what = held::past_the_end;
            add_run(out, r, at + stored_counts[i], at + counts[i], origin);
        }
        at += counts[i];
    }
    out->runs.erase(std::remove_if(out->runs.begin(), out->runs.end(), [](const run& r) { return r.count == 0; }),
                    out->runs.end());
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

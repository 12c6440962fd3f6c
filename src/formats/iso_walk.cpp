// Bounded walks over an ISO 9660 directory tree.
#include "formats/iso_walk.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace iso {

namespace {

// The sectors a directory extent occupies for the overlap rule: a directory
// recorded with length 0 still stands on its first sector.
uint64_t extent_end(uint32_t lba, uint32_t size) {
    uint64_t n = sectors_for(size);
    return uint64_t(lba) + (n ? n : 1);
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool same_name(const char* a, const char* b) {
    for (; *a && ascii_upper(*a) == ascii_upper(*b); a++, b++) {
    }
    return ascii_upper(*a) == ascii_upper(*b);
}

class summer : public tree_visitor {
public:
    uint64_t sum = 0;
    bool file(const iso_file& f) override {
        sum += f.size;
        return true;
    }
    bool refused(const iso_entry&, const char*) override { return true; }
    bool enter(const iso_entry&) override { return true; }
    void leave() override {}
};

// True when two pieces of a file share a sector (a piece given twice is one
// case); pieces of no bytes stand nowhere.
bool pieces_overlap(std::vector<extent> pieces) {
    std::sort(pieces.begin(), pieces.end(), [](const extent& a, const extent& b) { return a.lba < b.lba; });
    uint64_t end = 0;
    for (const extent& p : pieces) {
        if (p.size == 0) continue;
        if (p.lba < end) return true;
        end = uint64_t(p.lba) + sectors_for(p.size);
    }
    return false;
}

}  // namespace

dir_walk::dir_walk(sector_source& src) : src_(src), budget_(2 * src.sector_count()) {}

std::vector<iso_entry> dir_walk::read_dir(uint32_t lba, uint32_t size, uint64_t held, bool claim) {
    const uint64_t sectors = sectors_for(size);
    const uint64_t count = src_.sector_count();
    if (lba > count || sectors > count - lba || held + size > MAX_DIR_BYTES) {
        stats_.too_big++;
        return {};
    }
    if (sectors > budget_) {
        stats_.over_budget++;
        return {};
    }
    // Only what is read is claimed: a record that claims the whole image
    // but cannot be read must not hide the directories after it.
    if (claim) walked_.emplace(lba, extent_end(lba, size));
    if (sectors == 0) return {};
    budget_ -= sectors;
    stats_.dir_bytes_read += sectors * ISO_SECTOR;
    try {
        std::vector<uint8_t> data(size_t(sectors) * ISO_SECTOR);
        if (!src_.read(lba, uint32_t(sectors), data.data())) return {};
        return decode_dir(data.data(), data.size(), size);
    } catch (const std::bad_alloc&) {
        return {};  // out of memory: the directory looks unreadable
    }
}

bool dir_walk::overlaps(uint32_t lba, uint32_t size) const {
    const uint64_t begin = lba, end = extent_end(lba, size);
    auto next = walked_.lower_bound(begin);
    if (next != walked_.end() && next->first < end) return true;
    return next != walked_.begin() && std::prev(next)->second > begin;
}

bool dir_walk::traverse(uint32_t lba, uint32_t size, int depth, tree_visitor& v) {
    if (overlaps(lba, size)) return true;
    return walk_dir(read_dir(lba, size, 0, true), depth, size, v);
}

bool next_item(const std::vector<iso_entry>& records, size_t* i, iso_file* out, const char** why) {
    const iso_entry& first = records[*i];
    ++*i;
    out->entry = first;
    out->pieces.assign(1, extent{first.lba, first.size});
    out->size = data_bytes(out->pieces[0], first.form2);
    if (first.dir || !first.more) return true;
    // The records of its name up to the one without the mark. Pieces past
    // the limit are passed over, not kept.
    bool ended = false;
    size_t count = 1;
    while (!ended && *i < records.size() && !records[*i].dir && !strcmp(records[*i].name, first.name)) {
        const iso_entry& r = records[(*i)++];
        ended = !r.more;
        if (++count > MAX_PIECES) continue;
        out->pieces.push_back(extent{r.lba, r.size});
        out->size += data_bytes(out->pieces.back(), first.form2);
    }
    if (!ended) {
        *why = "its pieces end without their last record";
        return false;
    }
    if (count > MAX_PIECES) {
        *why = "it is recorded in more pieces than a disc needs";
        return false;
    }
    if (pieces_overlap(out->pieces)) {
        *why = "its pieces overlap";
        return false;
    }
    return true;
}

bool dir_walk::walk_dir(const std::vector<iso_entry>& records, int depth, uint64_t held,
                        tree_visitor& v) {
    for (size_t i = 0; i < records.size();) {
        const iso_entry& e = records[i];
        if (!e.dir) {
            iso_file f;
            const char* why = nullptr;
            if (next_item(records, &i, &f, &why) ? !v.file(f) : !v.refused(e, why)) return false;
            continue;
        }
        i++;
        if (depth >= MAX_DEPTH) continue;
        if (overlaps(e.lba, e.size)) {
            stats_.repeated++;
            continue;
        }
        if (!v.enter(e)) return false;
        // The listing of every directory on the way down is held meanwhile.
        if (!walk_dir(read_dir(e.lba, e.size, held, true), depth + 1, held + e.size, v)) return false;
        v.leave();
    }
    return true;
}

uint64_t total(dir_walk& w, uint32_t lba, uint32_t size, int depth) {
    summer s;
    w.traverse(lba, size, depth, s);
    return s.sum;
}

bool find(dir_walk& w, uint32_t root_lba, uint32_t root_size, const char* rel, iso_file* found) {
    uint32_t lba = root_lba, size = root_size;
    const char* p = rel;
    while (*p) {
        char part[64];
        size_t n = 0;
        while (*p && *p != '\\' && *p != '/' && n < 63) part[n++] = *p++;
        part[n] = 0;
        while (*p == '\\' || *p == '/') p++;
        const std::vector<iso_entry> records = w.list(lba, size);
        bool matched = false;
        for (size_t i = 0; i < records.size() && !matched;) {
            const char* why = nullptr;
            matched = next_item(records, &i, found, &why) && same_name(part, found->entry.name);
        }
        if (!matched) return false;
        lba = found->entry.lba;
        size = found->entry.size;
    }
    return true;
}

}  // namespace iso

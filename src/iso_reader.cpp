// The ISO 9660 reader: directory listing, lookup, byte totals and extraction
// of an image source. Sectors come through read_sectors, so the sector layout
// of the image never matters here; the walks and their bounds are those of
// formats/iso_walk.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cdsrc.h"
#include "handles.h"
#include "log.h"

namespace {

const uint32_t CHUNK_SECTORS = 32;
// File data moves through this buffer, one chunk at a time; one extraction
// runs at a time in the process.
unsigned char buf[CHUNK_SECTORS * ISO_SECTOR];

class image_sectors : public iso::sector_source {
public:
    explicit image_sectors(cd_source* cd) : cd_(cd) {}
    uint64_t sector_count() const override { return cd_->sectors; }
    bool read(uint32_t lba, uint32_t count, uint8_t* dest) override {
        return read_sectors(cd_, lba, count, dest) != 0;
    }

private:
    cd_source* cd_;
};

// True when the extent's sectors lie inside the image.
bool extent_inside(const cd_source* cd, uint32_t lba, uint32_t size) {
    return lba <= cd->sectors && iso::sectors_for(size) <= cd->sectors - lba;
}

// Writes one file's extent to target in chunks of at most 32 sectors. A
// chunk that fails to read after read_sectors' retries is named (file is the
// entry's path on the disc) and, if the disc's question says so, read again.
int copy_extent(cd_source* cd, const iso_entry& e, const char* file, const char* target, progress* p) {
    file_handle out = create_for_write(target);
    if (!out) {
        setup_log("cannot write %s", target);
        return 0;
    }
    uint32_t remaining = e.size, sector = e.lba;
    while (remaining > 0) {
        uint32_t n = uint32_t(iso::sectors_for(remaining));
        if (n > CHUNK_SECTORS) n = CHUNK_SECTORS;
        if (!extent_inside(cd, sector, n * ISO_SECTOR)) {
            setup_log("cannot read sector %llu of %s (beyond the end of the image)",
                      static_cast<unsigned long long>(sector > cd->sectors ? sector : cd->sectors), file);
            setup_log("read error in %s", e.name);
            return 0;
        }
        while (!read_sectors(cd, sector, n, buf)) {
            setup_log("cannot read sector %llu of %s (error %lu)",
                      static_cast<unsigned long long>(cd->bad_sector), file, cd->bad_error);
            if (!ask_to_retry(cd, file)) {
                // What did read stays: the file is whole up to the sector that is not.
                const uint64_t good = (cd->bad_sector - sector) * ISO_SECTOR;
                if (good) write_chunk(out.get(), buf, uint32_t(good < remaining ? good : remaining), target);
                setup_log("read error in %s", e.name);
                return 0;
            }
        }
        uint32_t bytes = n * ISO_SECTOR < remaining ? n * ISO_SECTOR : remaining;
        if (!write_chunk(out.get(), buf, bytes, target)) return 0;
        remaining -= bytes;
        sector += n;
        if (p) progress_add(p, bytes);
    }
    return 1;
}

// Extracts what the walk visits: each folder and file under the target
// folder of the directory that holds it. The first failure ends the walk.
// It is also the walk's sector source: a directory that cannot be read after
// read_sectors' retries is named and, if the disc's question says so, read
// again; otherwise the extraction fails rather than copy it as empty.
class extractor : public iso::tree_visitor, public iso::sector_source {
public:
    extractor(cd_source* cd, const char* dst, progress* p)
        : cd_(cd), p_(p), folders_{dst}, root_len_(folders_[0].size()) {}

    bool file(const iso_entry& e) override {
        char target[PATH_CHARS];
        if (failed_ || !target_of(e, target)) return false;
        return copy_extent(cd_, e, on_disc(target), target, p_);
    }
    bool enter(const iso_entry& e) override {
        char target[PATH_CHARS];
        if (failed_ || !target_of(e, target)) return false;
        make_dirs(target);
        folders_.push_back(target);
        return true;
    }
    void leave() override { folders_.pop_back(); }

    uint64_t sector_count() const override { return cd_->sectors; }
    // Reads the directory entered last (the walk enters before it reads).
    bool read(uint32_t lba, uint32_t count, uint8_t* dest) override {
        const char* dir = on_disc(folders_.back().c_str());
        if (!*dir) dir = "\\";  // the top of the extraction
        while (!read_sectors(cd_, lba, count, dest)) {
            setup_log("cannot read sector %llu of %s (error %lu)",
                      static_cast<unsigned long long>(cd_->bad_sector), dir, cd_->bad_error);
            if (!ask_to_retry(cd_, dir)) {
                const char* slash = strrchr(dir, '\\');
                setup_log("read error in %s", slash && slash[1] ? slash + 1 : dir);
                failed_ = true;
                return false;
            }
        }
        return true;
    }
    bool failed() const { return failed_; }

private:
    // A name from the disc must stay one file or folder inside its folder.
    bool target_of(const iso_entry& e, char* target) {
        if (!iso::name_safe(e.name)) {
            setup_log("unsafe name on disc: %s", e.name);
            return false;
        }
        text_printf(target, PATH_CHARS, "%s\\%s", folders_.back().c_str(), e.name);
        return true;
    }
    // A target's path on the disc, for a line or a question about it.
    const char* on_disc(const char* target) const {
        const char* rel = target + std::min(root_len_, strlen(target));
        while (*rel == '\\') rel++;
        return rel;
    }

    cd_source* cd_;
    progress* p_;
    std::vector<std::string> folders_;
    size_t root_len_;
    bool failed_ = false;
};

}  // namespace

std::vector<iso_entry> iso_dir(cd_source* cd, uint32_t lba, uint32_t size) {
    image_sectors sectors(cd);
    iso::dir_walk walk(sectors);
    return walk.list(lba, size);
}

int iso_find(cd_source* cd, const char* rel, iso_entry* entry_out) {
    image_sectors sectors(cd);
    iso::dir_walk walk(sectors);
    return iso::find(walk, cd->root_lba, cd->root_size, rel, entry_out) ? 1 : 0;
}

uint64_t iso_total(cd_source* cd, uint32_t lba, uint32_t size, int depth) {
    image_sectors sectors(cd);
    iso::dir_walk walk(sectors);
    return iso::total(walk, lba, size, depth);
}

int iso_copy(cd_source* cd, uint32_t lba, uint32_t size, const char* dst, progress* p, int depth) {
    make_dirs(dst);
    extractor x(cd, dst, p);
    iso::dir_walk walk(x);
    if (!walk.traverse(lba, size, depth, x) || x.failed()) return 0;
    // The total walked the same directories: what is skipped here was not counted.
    const iso::walk_stats& s = walk.stats();
    if (s.skipped())
        setup_log("skipped directories in %s: %u that repeat or overlap others, %u that are too "
                  "large or lie outside the image",
                  cd->path, s.repeated, s.too_big + s.over_budget);
    return 1;
}

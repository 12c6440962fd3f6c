// A disc read from image files through its rip's sector map.
#include "image_disc.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "disc_names.h"
#include "links.h"
#include "log.h"

namespace {

const uint32_t MAX_SECTOR = 2448;  // raw sectors with 96 bytes of subchannel data
// A raw run is read whole into this buffer and its user data picked out;
// longer runs go in batches. One copy runs at a time, so one static buffer serves.
const uint32_t RAW_BATCH = 32;
unsigned char raw[RAW_BATCH * MAX_SECTOR];
// Plain runs are read straight into dest, in batches that keep ReadFile's
// 32-bit count far from overflow.
const uint32_t PLAIN_BATCH = 8192;
// File data moves through this buffer, one chunk at a time.
const uint32_t CHUNK_SECTORS = 32;
unsigned char chunk[CHUNK_SECTORS * iso::FORM2_BYTES];

// True when the run's sectors keep Form 2 user data whole: raw Mode 2
// sectors, where it starts behind the subheader.
bool holds_form2(const rip::run& r) {
    return (r.sector_size == 2352 || r.sector_size == 2448) ? r.data_offset == 24
                                                            : r.sector_size == 2336 && r.data_offset == 8;
}

}  // namespace

// A seek and a plain read: Wine serves a read at an OVERLAPPED offset about
// twice as slowly.
int64_t read_at(HANDLE fh, uint64_t pos, void* dest, DWORD len, unsigned long* error) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(pos);
    DWORD got = 0;
    if (!SetFilePointerEx(fh, at, nullptr, FILE_BEGIN) || !ReadFile(fh, dest, len, &got, nullptr)) {
        *error = GetLastError();
        return -1;
    }
    // A read that stops short has met the end of the file, as far as the call tells.
    if (got < len) *error = ERROR_HANDLE_EOF;
    return got;
}

// Sector reads for the walks that neither copy nor ask: a lookup retries a
// failed read, a measure does not.
class image_disc::sectors_of : public iso::sector_source {
public:
    sectors_of(image_disc* disc, bool retry) : disc_(disc), retry_(retry) {}
    uint64_t sector_count() const override { return disc_->sectors(); }
    bool read(uint32_t lba, uint32_t count, uint8_t* dest) override {
        return disc_->read(lba, count, dest, retry_);
    }

private:
    image_disc* disc_;
    bool retry_;
};

// Extracts what the walk visits: each folder and file under the target
// folder of the directory that holds it. The first failure ends the walk.
// It is also the walk's sector source: a directory that cannot be read is
// named and, if the disc's question says so, read again; otherwise the
// extraction fails rather than copy it as empty.
class image_disc::extractor : public iso::tree_visitor, public iso::sector_source {
public:
    extractor(image_disc* disc, const char* dst, progress* p)
        : disc_(disc), p_(p), folders_{{dst, {}}}, root_len_(strlen(dst)) {}

    bool file(const iso::iso_file& f) override {
        char target[FILE_PATH_CHARS];
        if (failed_ || !target_of(f.entry, target)) return !failed_;
        return disc_->copy_file(f, on_disc(target), target, p_);
    }
    bool refused(const iso_entry& e, const char* why) override {
        setup_log("skipped %s in %s: %s", iso::utf8_name(e.name).c_str(), where(), why);
        return true;
    }
    bool enter(const iso_entry& e) override {
        char target[FILE_PATH_CHARS];
        if (failed_) return false;
        // A folder that is left out leaves out what it holds: an empty
        // stand-in keeps the walk's order.
        const bool placed = target_of(e, target);
        if (failed_) return false;
        if (placed && !make_own_folder(target)) {
            failed_ = true;
            return false;
        }
        folders_.push_back({placed ? target : "", {}});
        return true;
    }
    void leave() override { folders_.pop_back(); }

    uint64_t sector_count() const override { return disc_->sectors(); }
    // Reads the directory entered last (the walk enters before it reads).
    bool read(uint32_t lba, uint32_t count, uint8_t* dest) override {
        if (folders_.back().path.empty()) return false;  // a folder left out: nothing below it is read
        const char* dir = where();
        if (disc_->read_or_ask(lba, count, dest, dir)) return true;
        const char* slash = strrchr(dir, '\\');
        setup_log("read error in %s", slash && slash[1] ? slash + 1 : dir);
        failed_ = true;
        return false;
    }
    bool failed() const { return failed_; }

private:
    struct folder {
        std::string path;  // empty: left out
        target_names names;
    };

    // A name from the disc must stay one file or folder inside its folder,
    // and must not land on a file that an earlier entry of this folder took.
    bool target_of(const iso_entry& e, char* target) {
        folder& here = folders_.back();
        if (here.path.empty()) return false;
        const std::string name = iso::utf8_name(e.name);
        if (!iso::name_safe(name.c_str())) {
            setup_log("unsafe name on disc: %s", name.c_str());
            failed_ = true;
            return false;
        }
        std::string earlier;
        if (!here.names.claim(name.c_str(), &earlier)) {
            setup_log("skipped %s: the file system takes it for %s, which came before it",
                      on_disc((here.path + "\\" + name).c_str()), earlier.c_str());
            return false;
        }
        text_printf(target, FILE_PATH_CHARS, "%s\\%s", here.path.c_str(), name.c_str());
        return true;
    }
    // A target's path on the disc, for a line or a question about it.
    const char* on_disc(const char* target) const {
        const char* rel = target + std::min(root_len_, strlen(target));
        while (*rel == '\\') rel++;
        return rel;
    }
    // The folder being walked, on the disc ("\\" at the top).
    const char* where() const {
        const char* dir = on_disc(folders_.back().path.c_str());
        return *dir ? dir : "\\";
    }

    image_disc* disc_;
    progress* p_;
    std::vector<folder> folders_;
    size_t root_len_;
    bool failed_ = false;
};

image_disc::image_disc(const char* kind, std::vector<image_file> files)
    : cd_source(kind), files_(std::move(files)), kind_(kind) {}

bool image_disc::mount(const rip::disc_map& map) {
    map_ = map;
    unsigned char sector[ISO_SECTOR];
    if (!read(ISO_PVD_SECTOR, 1, sector, false) || !iso::read_pvd(sector, &root_lba_, &root_size_)) return false;
    volume_file_ = files_[map_.find(ISO_PVD_SECTOR)->file].path;
    set_description(std::string(kind_) + " " + volume_file_);
    return true;
}

uint32_t image_disc::read_run(const rip::run& r, uint64_t sector, uint32_t n, uint32_t unit, uint8_t* dest,
                              unsigned long* error) {
    const uint64_t pos = r.offset + (sector - r.first) * r.sector_size + r.data_offset;
    HANDLE fh = files_[r.file].handle.get();
    if (r.sector_size == unit) {
        int64_t got = read_at(fh, pos, dest, n * unit, error);
        return got < 0 ? 0 : uint32_t(got / unit);
    }
    // The run spans from the first sector's user data to the last one's end.
    DWORD want = (n - 1) * r.sector_size + unit;
    int64_t got = read_at(fh, pos, raw, want, error);
    uint32_t whole = got < unit ? 0 : uint32_t((got - unit) / r.sector_size + 1);
    if (whole > n) whole = n;
    for (uint32_t i = 0; i < whole; i++) memcpy(dest + size_t(i) * unit, raw + size_t(i) * r.sector_size, unit);
    return whole;
}

bool image_disc::retry_sector(const rip::run& r, uint64_t sector, uint32_t unit, uint8_t* dest,
                              unsigned long* error) {
    for (unsigned retry = 1; retry <= READ_RETRIES; retry++) {
        setup_log("retrying sector %llu of %s (%s)", static_cast<unsigned long long>(sector), describe(),
                  error_text(*error).c_str());
        pause_before_retry(retry);
        if (read_run(r, sector, 1, unit, dest, error) == 1) return true;
    }
    return false;
}

bool image_disc::fail(uint64_t sector, failure why, unsigned long error, unsigned track) {
    bad_sector_ = sector;
    bad_ = why;
    bad_error_ = error;
    bad_track_ = track;
    return false;
}

bool image_disc::read(uint32_t lba, uint32_t count, uint8_t* dest, bool retry, bool form2) {
    const uint32_t unit = form2 ? iso::FORM2_BYTES : ISO_SECTOR;
    uint64_t sector = lba;  // 64-bit, so that a run near the 32-bit limit cannot wrap
    while (count > 0) {
        const rip::run* r = map_.find(sector);
        if (!r || r->what == rip::held::past_the_end) return fail(sector, failure::past_the_end);
        if (r->what == rip::held::not_stored) return fail(sector, failure::not_stored);
        if (r->data_offset == rip::NO_LAYOUT) return fail(sector, failure::audio, 0, r->track);
        if (form2 && !holds_form2(*r)) return fail(sector, failure::no_form2);
        const uint32_t batch = r->sector_size == unit ? PLAIN_BATCH : RAW_BATCH;
        const uint64_t left_in_run = r->first + r->count - sector;
        const uint32_t n = uint32_t(std::min<uint64_t>({count, batch, left_in_run}));
        unsigned long error = 0;
        uint32_t got = read_run(*r, sector, n, unit, dest, &error);
        if (got < n) {
            // A run that fails is read on sector by sector: everything that
            // reads is kept, and only the sector that fails is tried again.
            while (got < n && read_run(*r, sector + got, 1, unit, dest + size_t(got) * unit, &error) == 1) got++;
            if (got < n) {
                // The map holds only sectors that the file held when it was
                // opened, so a short read here is a damaged place, not the end.
                if (!retry || !retry_sector(*r, sector + got, unit, dest + size_t(got) * unit, &error))
                    return fail(sector + got, failure::unreadable, error);
                got++;
            }
        }
        dest += size_t(got) * unit;
        count -= got;
        sector += got;
    }
    return true;
}

std::string image_disc::failure_line(const char* file) const {
    const auto sector = static_cast<unsigned long long>(bad_sector_);
    char line[FILE_PATH_CHARS + 200];
    switch (bad_) {
    case failure::not_stored:
        text_printf(line, sizeof line, "sector %llu of disc %d lies in a gap that the rip did not store", sector,
                    number());
        break;
    case failure::audio:
        text_printf(line, sizeof line, "sector %llu of disc %d lies in audio track %u", sector, number(), bad_track_);
        break;
    case failure::no_form2:
        text_printf(line, sizeof line, "cannot read sector %llu of %s (its Form 2 data is not in this kind of image)",
                    sector, file);
        break;
    case failure::past_the_end:
        text_printf(line, sizeof line, "cannot read sector %llu of %s (beyond the end of the image)", sector, file);
        break;
    default:
        text_printf(line, sizeof line, "cannot read sector %llu of %s (%s)", sector, file,
                    error_text(bad_error_).c_str());
    }
    return line;
}

bool image_disc::read_or_ask(uint32_t lba, uint32_t count, uint8_t* dest, const char* file, bool form2) {
    while (!read(lba, count, dest, true, form2)) {
        setup_log("%s", failure_line(file).c_str());
        // Only a damaged place can read after a cleaning; a gap or the end of a file never will.
        if (bad_ != failure::unreadable || !ask_again(file)) return false;
    }
    return true;
}

bool image_disc::copy_file(const iso::iso_file& f, const char* file, const char* target, progress* p) {
    if (!not_a_link(target)) return false;
    file_handle out = create_for_write(target);
    if (!out) {
        setup_log("cannot write %s (%s)", target, error_text(GetLastError()).c_str());
        return false;
    }
    const bool form2 = f.entry.form2 != 0;
    const uint32_t unit = form2 ? iso::FORM2_BYTES : ISO_SECTOR;
    for (const iso::extent& piece : f.pieces) {
        uint64_t remaining = iso::data_bytes(piece, form2);
        uint32_t sector = piece.lba;
        while (remaining > 0) {
            const uint32_t n = uint32_t(std::min<uint64_t>((remaining - 1) / unit + 1, CHUNK_SECTORS));
            if (!read_or_ask(sector, n, chunk, file, form2)) {
                // What did read stays: the file is whole up to the sector that is not.
                const uint64_t good = (bad_sector_ - sector) * unit;
                const uint32_t kept = uint32_t(std::min<uint64_t>(good, remaining));
                if (kept && write_chunk(out.get(), chunk, kept, target) && p) progress_add(p, kept);
                setup_log("read error in %s", iso::utf8_name(f.entry.name).c_str());
                return false;
            }
            const uint32_t bytes = uint32_t(std::min<uint64_t>(n * unit, remaining));
            if (!write_chunk(out.get(), chunk, bytes, target)) return false;
            remaining -= bytes;
            sector += n;
            if (p) progress_add(p, bytes);
        }
    }
    return true;
}

bool image_disc::find(const char* rel, iso::iso_file* found) {
    sectors_of src(this, true);
    iso::dir_walk walk(src);
    return iso::find(walk, root_lba_, root_size_, rel, found);
}

bool image_disc::exists(const char* rel) {
    iso::iso_file found;
    return find(rel, &found);
}

bool image_disc::size_of(const char* rel, uint64_t* bytes) {
    iso::iso_file found;
    if (!find(rel, &found) || found.entry.dir) return false;
    *bytes = found.size;
    return true;
}

std::vector<iso_entry> image_disc::list(const char* rel) {
    iso::iso_file dir;
    dir.entry.lba = root_lba_;
    dir.entry.size = root_size_;
    if (!find(rel, &dir)) return {};
    sectors_of src(this, true);
    iso::dir_walk walk(src);
    return walk.list(dir.entry.lba, dir.entry.size);
}

disc_size image_disc::measure(uint32_t cluster) {
    class counter : public iso::tree_visitor {
    public:
        explicit counter(uint32_t cluster) : cluster_(cluster) {}
        disc_size size;
        bool file(const iso::iso_file& f) override {
            size.bytes += f.size;
            size.allocated += whole_clusters(f.size, cluster_);
            return true;
        }
        bool refused(const iso_entry&, const char*) override { return true; }
        bool enter(const iso_entry&) override {
            size.allocated += whole_clusters(1, cluster_);
            return true;
        }
        void leave() override {}

    private:
        uint32_t cluster_;
    };
    sectors_of src(this, false);
    iso::dir_walk walk(src);
    counter c(cluster);
    walk.traverse(root_lba_, root_size_, 0, c);
    return c.size;
}

bool image_disc::copy_all(const char* dest, progress* p) {
    make_dirs(dest);
    extractor x(this, dest, p);
    iso::dir_walk walk(x);
    if (!walk.traverse(root_lba_, root_size_, 0, x) || x.failed()) return false;
    // The measure walked the same directories: what is skipped here was not counted.
    const iso::walk_stats& s = walk.stats();
    if (s.skipped())
        setup_log("skipped directories in %s: %u that repeat or overlap others, %u that are too "
                  "large or lie outside the image",
                  volume_file_.c_str(), s.repeated, s.too_big + s.over_budget);
    return true;
}

bool image_disc::lies_in(const char* folder) const {
    for (const image_file& f : files_)
        if (path_inside(f.path.c_str(), folder)) return true;
    return false;
}

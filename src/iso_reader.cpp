// The ISO 9660 reader: directory listing, lookup, byte totals and extraction
// of an image source. Sectors come through read_sectors, so the sector layout
// of the image never matters here.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>

#include "cdsrc.h"
#include "handles.h"
#include "setup.h"

namespace {

const uint32_t CHUNK_SECTORS = 32;
// File data moves through this buffer, one chunk at a time; one extraction
// runs at a time in the process.
unsigned char buf[CHUNK_SECTORS * ISO_SECTOR];

// Directory extents already walked in one total or extraction. A crafted
// image can point records back at an ancestor (an endless walk) or at one
// shared directory from many places (work that multiplies); each extent is
// walked once.
using walked = std::set<uint32_t>;

// True when the extent's sectors lie inside the image.
bool extent_inside(const cd_source* cd, uint32_t lba, uint32_t size) {
    return lba <= cd->sectors && iso::sectors_for(size) <= cd->sectors - lba;
}

uint64_t total(cd_source* cd, uint32_t lba, uint32_t size, int depth, walked& seen) {
    uint64_t sum = 0;
    for (const iso_entry& e : iso_dir(cd, lba, size)) {
        if (!e.dir)
            sum += e.size;
        else if (depth < MAX_DEPTH && seen.insert(e.lba).second)
            sum += total(cd, e.lba, e.size, depth + 1, seen);
    }
    return sum;
}

// Writes one file's extent to target in chunks of at most 32 sectors.
int copy_extent(cd_source* cd, const iso_entry& e, const char* target, progress* p) {
    file_handle out = create_for_write(target);
    if (!out) {
        setup_log("cannot write %s", target);
        return 0;
    }
    uint32_t remaining = e.size, sector = e.lba;
    while (remaining > 0) {
        uint32_t n = uint32_t(iso::sectors_for(remaining));
        if (n > CHUNK_SECTORS) n = CHUNK_SECTORS;
        if (!extent_inside(cd, sector, n * ISO_SECTOR) || !read_sectors(cd, sector, n, buf)) {
            setup_log("read error in %s", e.name);
            return 0;
        }
        DWORD bytes = n * ISO_SECTOR < remaining ? n * ISO_SECTOR : remaining, written = 0;
        if (!WriteFile(out.get(), buf, bytes, &written, nullptr) || written != bytes) return 0;
        remaining -= bytes;
        sector += n;
        if (p) progress_add(p, bytes);
    }
    return 1;
}

int copy(cd_source* cd, uint32_t lba, uint32_t size, const char* dst, progress* p, int depth,
         walked& seen) {
    std::vector<iso_entry> entries = iso_dir(cd, lba, size);
    make_dirs(dst);
    for (const iso_entry& e : entries) {
        if (e.dir && (depth == MAX_DEPTH || !seen.insert(e.lba).second)) continue;
        // A name from the disc must stay one file or folder inside dst.
        if (!iso::name_safe(e.name)) {
            setup_log("unsafe name on disc: %s", e.name);
            return 0;
        }
        char target[PATH_CHARS];
        snprintf(target, sizeof target, "%s\\%s", dst, e.name);
        int ok = e.dir ? copy(cd, e.lba, e.size, target, p, depth + 1, seen)
                       : copy_extent(cd, e, target, p);
        if (!ok) return 0;
    }
    return 1;
}

}  // namespace

std::vector<iso_entry> iso_dir(cd_source* cd, uint32_t lba, uint32_t size) {
    // A recorded size is never trusted for an allocation: the directory must fit the image.
    if (!extent_inside(cd, lba, size)) return {};
    uint64_t sectors = iso::sectors_for(size);
    std::vector<uint8_t> data;
    try {
        data.resize(size_t(sectors) * ISO_SECTOR);
        if (!read_sectors(cd, lba, uint32_t(sectors), data.data())) return {};
        return iso::decode_dir(data.data(), data.size(), size);
    } catch (const std::bad_alloc&) {
        return {};  // out of memory: the directory looks unreadable
    }
}

int iso_find(cd_source* cd, const char* rel, iso_entry* entry_out) {
    uint32_t lba = cd->root_lba, size = cd->root_size;
    const char* p = rel;
    while (*p) {
        char part[64];
        size_t n = 0;
        while (*p && *p != '\\' && *p != '/' && n < 63) part[n++] = char(toupper(static_cast<unsigned char>(*p++)));
        part[n] = 0;
        while (*p == '\\' || *p == '/') p++;
        std::vector<iso_entry> entries = iso_dir(cd, lba, size);
        const iso_entry* match = nullptr;
        for (const iso_entry& e : entries) {
            if (!_stricmp(part, e.name)) {
                match = &e;
                break;
            }
        }
        if (!match) return 0;
        *entry_out = *match;
        lba = match->lba;
        size = match->size;
    }
    return 1;
}

uint64_t iso_total(cd_source* cd, uint32_t lba, uint32_t size, int depth) {
    walked seen{lba};
    return total(cd, lba, size, depth, seen);
}

int iso_copy(cd_source* cd, uint32_t lba, uint32_t size, const char* dst, progress* p, int depth) {
    walked seen{lba};
    return copy(cd, lba, size, dst, p, depth, seen);
}

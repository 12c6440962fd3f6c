// Disc sources: opening every shape, sector reading, and the folder side of
// the disc operations. The image side lives in iso_reader.cpp.
#include "cdsrc.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string>

#include "formats/ccd.h"
#include "formats/cuesheet.h"
#include "formats/mds.h"
#include "formats/nrg.h"
#include "formats/toc.h"
#include "handles.h"
#include "log.h"

namespace {

const uint32_t RAW_SECTOR = 2352;
const uint32_t MAX_SECTOR = 2448;  // raw sectors with 96 bytes of subchannel data
// A raw run is read whole into this buffer and its user data picked out; longer
// runs go in batches. One copy runs at a time, so one static buffer serves.
const uint32_t RAW_BATCH = 32;
unsigned char raw[RAW_BATCH * MAX_SECTOR];
// Plain runs are read straight into dest, in batches that keep ReadFile's
// 32-bit count far from overflow.
const uint32_t PLAIN_BATCH = 8192;

struct layout {
    uint32_t sector_size, data_offset;
};
// The layouts a bare image file is probed for, in this order. The probe
// position of each lies where the others hold zeros or user data, not a
// volume descriptor's signature.
const layout layouts[] = {{ISO_SECTOR, 0}, {RAW_SECTOR, 16}, {RAW_SECTOR, 24},
                          {MAX_SECTOR, 16}, {MAX_SECTOR, 24}, {2336, 8}};

// Reads up to len bytes at byte offset pos with one read call; the count
// read, or -1 when the call failed (error then holds the system's code). A
// seek and a plain read: Wine serves a read at an OVERLAPPED offset about
// twice as slowly.
int64_t read_at(HANDLE fh, uint64_t pos, void* dest, DWORD len, DWORD* error) {
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

// Reads n sectors (at most one batch) from sector into dest with one read
// call; the count of whole sectors that arrived in dest.
uint32_t read_run(cd_source* cd, uint64_t sector, uint32_t n, unsigned char* dest, DWORD* error) {
    if (cd->sector_size == ISO_SECTOR) {
        int64_t got = read_at(cd->fh, cd->base + sector * ISO_SECTOR, dest, n * ISO_SECTOR, error);
        return got < 0 ? 0 : uint32_t(got / ISO_SECTOR);
    }
    // The run spans from the first sector's user data to the last one's end.
    DWORD want = (n - 1) * cd->sector_size + ISO_SECTOR;
    int64_t got = read_at(cd->fh, cd->base + sector * cd->sector_size + cd->data_offset, raw, want, error);
    uint32_t whole = got < ISO_SECTOR ? 0 : uint32_t((got - ISO_SECTOR) / cd->sector_size + 1);
    if (whole > n) whole = n;
    for (uint32_t i = 0; i < whole; i++)
        memcpy(dest + size_t(i) * ISO_SECTOR, raw + size_t(i) * cd->sector_size, ISO_SECTOR);
    return whole;
}

// Tries one sector that failed to read again, up to READ_RETRIES times; a
// sector past the end of the image is not tried.
bool retry_sector(cd_source* cd, uint64_t sector, unsigned char* dest, DWORD* error) {
    if (sector >= cd->sectors) return false;
    for (unsigned retry = 1; retry <= READ_RETRIES; retry++) {
        setup_log("retrying sector %llu of %s (error %lu)", static_cast<unsigned long long>(sector),
                  cd->desc, *error);
        pause_before_retry(retry);
        if (read_run(cd, sector, 1, dest, error) == 1) return true;
    }
    return false;
}

// Logical sector 16 must hold a primary volume descriptor in this layout.
bool probe(cd_source* cd, const layout& l) {
    cd->sector_size = l.sector_size;
    cd->data_offset = l.data_offset;
    unsigned char sector[ISO_SECTOR];
    uint64_t pos = cd->base + uint64_t(ISO_PVD_SECTOR) * l.sector_size + l.data_offset;
    DWORD error = 0;
    return read_at(cd->fh, pos, sector, ISO_SECTOR, &error) == ISO_SECTOR &&
           iso::read_pvd(sector, &cd->root_lba, &cd->root_size);
}

// Whole logical sectors whose user data lies inside an image file of this size.
uint64_t whole_sectors(uint64_t file_size, const cd_source* cd) {
    uint64_t first_end = cd->base + cd->data_offset + uint64_t(ISO_SECTOR);
    return file_size < first_end ? 0 : (file_size - first_end) / cd->sector_size + 1;
}

// A descriptor is a few KB. A larger file is none (an image that merely has a
// .cue name, say) and is never read whole.
const uint64_t MAX_DESCRIPTOR_BYTES = 1 << 20;

// What a path names once its descriptor, if any, has been read: the image
// file, and where its data track lies when the descriptor said so.
struct image_plan {
    std::string file;
    const char* kind = "image";  // the description's first words
    bool described = false;
    // A hand-written sheet may call a plain image MODE1/2352: when its data
    // track starts the file and its layout is not found, all are probed.
    bool probe_all_at_start = false;
    rip::data_track track;
};

// The descriptor's bytes as one string, or null when it cannot be read or is
// larger than a descriptor. The caller frees them.
char* read_descriptor(const char* path, uint64_t* len) {
    unsigned char* text = read_file(path, len, MAX_DESCRIPTOR_BYTES);
    if (text) text[*len] = 0;
    return reinterpret_cast<char*>(text);
}

// A cue sheet: its first data track, or else the first quoted name after
// "FILE", probed; a sheet that cannot be read or names nothing is probed
// itself (and holds no volume descriptor).
bool plan_cue(const char* sheet, image_plan* plan) {
    uint64_t len = 0;
    char* text = read_descriptor(sheet, &len);
    if (!text) return true;
    std::string name;
    if (cue::first_data_track(text, size_t(len), &plan->track)) {
        plan->described = true;
        plan->probe_all_at_start = plan->track.offset == 0;
        name = plan->track.file;
    } else if (!cue::image_name(text, size_t(len), &name)) {
        name.clear();
    }
    free(text);
    if (name.empty()) return true;
    if (!rip::safe_name(name)) return false;
    plan->file = cue::image_path(sheet, name);
    return true;
}

// The last bytes of a Nero image, where its chunk list and footer are.
bool plan_nrg(const char* path, image_plan* plan) {
    file_handle f(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!f || !GetFileSizeEx(f.get(), &size)) return false;
    const uint64_t file_size = uint64_t(size.QuadPart);
    std::vector<uint8_t> tail(size_t(file_size < nrg::MAX_TAIL ? file_size : nrg::MAX_TAIL));
    DWORD error = 0;
    if (read_at(f.get(), file_size - tail.size(), tail.data(), DWORD(tail.size()), &error) !=
        int64_t(tail.size()))
        return false;
    return nrg::first_data_track(tail.data(), tail.size(), file_size, &plan->track);
}

// The other descriptors decide alone: one that cannot be read or parsed, or
// that names a file out of reason, opens nothing.
bool plan_descriptor(const char* path, const char* ext, image_plan* plan) {
    if (!_stricmp(ext, ".cue")) return plan_cue(path, plan);
    bool ok;
    if (!_stricmp(ext, ".nrg")) {
        plan->kind = "Nero image";
        ok = plan_nrg(path, plan);
    } else {
        uint64_t len = 0;
        char* text = read_descriptor(path, &len);
        if (!text) return false;
        if (!_stricmp(ext, ".ccd")) {
            plan->kind = "CloneCD image";
            ok = ccd::first_data_track(text, size_t(len), &plan->track);
        } else if (!_stricmp(ext, ".mds")) {
            plan->kind = "Alcohol image";
            ok = mds::first_data_track(reinterpret_cast<uint8_t*>(text), size_t(len), &plan->track);
        } else {
            plan->kind = "cdrdao image";
            ok = toc::first_data_track(text, size_t(len), &plan->track);
        }
        free(text);
    }
    if (!ok || (!plan->track.file.empty() && !rip::safe_name(plan->track.file))) return false;
    plan->described = true;
    plan->file = rip::file_beside(path, plan->track.file);
    return true;
}

bool is_descriptor(const char* ext) {
    for (const char* d : {".cue", ".ccd", ".mds", ".nrg", ".toc"})
        if (!_stricmp(ext, d)) return true;
    return false;
}

// Folders already walked, by their identity on their volume. A folder reached
// again through a link (a symlink or junction) is skipped like a repeated
// directory of an image, so that links can neither loop a walk nor multiply
// its work. A folder whose identity cannot be read is walked.
class folder_walk {
public:
    // True the first time a folder is met in this walk.
    bool first_visit(const char* path) {
        file_handle f(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!f || !GetFileInformationByHandle(f.get(), &info)) return true;
        const uint64_t index = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
        if (index == 0) return true;  // a file system without folder identities
        if (seen_.insert({info.dwVolumeSerialNumber, index}).second) return true;
        repeated++;
        return false;
    }
    uint32_t repeated = 0;

private:
    std::set<std::pair<uint64_t, uint64_t>> seen_;
};

uint64_t dir_total(const char* folder, int depth, folder_walk& walk) {
    char pattern[PATH_CHARS];
    text_printf(pattern, sizeof pattern, "%s\\*", folder);
    WIN32_FIND_DATAA fd;
    find_handle search(FindFirstFileA(pattern, &fd));
    if (!search) return 0;
    uint64_t sum = 0;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth == iso::MAX_DEPTH) continue;
            char child[PATH_CHARS];
            text_printf(child, sizeof child, "%s\\%s", folder, fd.cFileName);
            if (walk.first_visit(child)) sum += dir_total(child, depth + 1, walk);
        } else {
            sum += uint64_t(fd.nFileSizeHigh) << 32 | fd.nFileSizeLow;
        }
    } while (FindNextFileA(search.get(), &fd));
    return sum;
}

// Copies one file of a folder disc. A read that fails is tried again
// READ_RETRIES times; then the place is named and the disc's question asked.
int copy_from_disc(cd_source* cd, const char* src, const char* dst, progress* p) {
    // The file's path on the disc: what follows the disc's folder.
    const char* file = src + strlen(cd->path);
    while (*file == '\\') file++;
    auto again = [cd, src, file](uint64_t offset, unsigned long error, unsigned failures) {
        const auto at = static_cast<unsigned long long>(offset);
        // Each answer Retry starts a new round of retries.
        const unsigned retry = (failures - 1) % (READ_RETRIES + 1) + 1;
        if (retry <= READ_RETRIES) {
            setup_log("retrying byte %llu of %s (error %lu)", at, src, error);
            pause_before_retry(retry);
            return true;
        }
        setup_log("cannot read byte %llu of %s (error %lu)", at, file, error);
        return ask_to_retry(cd, file);
    };
    return copy_file(src, dst, p, again);
}

int dir_copy(cd_source* cd, const char* src, const char* dst, progress* p, int depth, folder_walk& walk) {
    char pattern[PATH_CHARS];
    text_printf(pattern, sizeof pattern, "%s\\*", src);
    WIN32_FIND_DATAA fd;
    find_handle search(FindFirstFileA(pattern, &fd));
    make_dirs(dst);
    if (!search) return 1;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
        char from[PATH_CHARS], to[PATH_CHARS];
        text_printf(from, sizeof from, "%s\\%s", src, fd.cFileName);
        text_printf(to, sizeof to, "%s\\%s", dst, fd.cFileName);
        int ok = 1;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth == iso::MAX_DEPTH || !walk.first_visit(from)) continue;
            ok = dir_copy(cd, from, to, p, depth + 1, walk);
        } else {
            ok = copy_from_disc(cd, from, to, p);
            SetFileAttributesA(to, FILE_ATTRIBUTE_NORMAL);
        }
        if (!ok) return 0;
    } while (FindNextFileA(search.get(), &fd));
    return 1;
}

}  // namespace

cd_source* cd_open(const char* path) {
    source_ptr cd(new (std::nothrow) cd_source{});
    if (!cd) return nullptr;
    cd->fh = INVALID_HANDLE_VALUE;

    char p[PATH_CHARS];
    text_printf(p, sizeof p, "%s", path);
    size_t n = strlen(p);
    if (n > 3) {
        while (n > 3 && (p[n - 1] == '\\' || p[n - 1] == '/')) p[--n] = 0;
    } else if (n == 2 && p[1] == ':') {
        strcpy(p + 2, "\\");
    }

    if (is_dir(p)) {
        text_printf(cd->path, sizeof cd->path, "%s", p);
        text_printf(cd->desc, sizeof cd->desc, "folder %s", cd->path);
        return cd.release();
    }

    image_plan plan;
    plan.file = p;
    const char* dot = strrchr(p, '.');
    if (dot && is_descriptor(dot) && !plan_descriptor(p, dot, &plan)) return nullptr;

    cd->fh = CreateFileA(plan.file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
    if (cd->fh == INVALID_HANDLE_VALUE) return nullptr;
    bool found = false;
    if (plan.described) {
        // The descriptor's layout; for raw sectors also the other mode, which
        // a sheet that says MODE1 of a Mode 2 rip still finds.
        const rip::data_track& t = plan.track;
        cd->base = t.offset;
        const layout mine{t.sector_size, t.data_offset};
        const layout other{t.sector_size, t.data_offset == 16 ? 24u : 16u};
        found = probe(cd.get(), mine) || (t.sector_size >= RAW_SECTOR && probe(cd.get(), other));
    }
    if (!found && (!plan.described || plan.probe_all_at_start)) {
        cd->base = 0;
        for (const layout& l : layouts)
            if ((found = probe(cd.get(), l))) break;
    }
    if (!found) return nullptr;

    LARGE_INTEGER size;
    if (!GetFileSizeEx(cd->fh, &size)) return nullptr;
    cd->sectors = whole_sectors(uint64_t(size.QuadPart), cd.get());
    cd->is_image = 1;
    text_printf(cd->path, sizeof cd->path, "%s", plan.file.c_str());
    text_printf(cd->desc, sizeof cd->desc, "%s %s", plan.kind, cd->path);
    return cd.release();
}

void cd_close(cd_source* cd) {
    if (!cd) return;
    if (cd->fh != INVALID_HANDLE_VALUE) CloseHandle(cd->fh);
    delete cd;
}

const char* cd_describe(cd_source* cd) { return cd->desc; }

int read_sectors(cd_source* cd, uint32_t lba, uint32_t count, unsigned char* dest) {
    uint64_t sector = lba;  // 64-bit, so that a run near the 32-bit limit cannot wrap
    const uint32_t batch = cd->sector_size == ISO_SECTOR ? PLAIN_BATCH : RAW_BATCH;
    while (count > 0) {
        const uint32_t n = count < batch ? count : batch;
        DWORD error = 0;
        uint32_t got = read_run(cd, sector, n, dest, &error);
        if (got < n) {
            // A run that fails is read on sector by sector: everything that
            // reads is kept, and only the sector that fails is tried again.
            while (got < n && read_run(cd, sector + got, 1, dest + size_t(got) * ISO_SECTOR, &error) == 1)
                got++;
            if (got < n) {
                if (!retry_sector(cd, sector + got, dest + size_t(got) * ISO_SECTOR, &error)) {
                    cd->bad_sector = sector + got;
                    cd->bad_error = error;
                    return 0;
                }
                got++;
            }
        }
        dest += size_t(got) * ISO_SECTOR;
        count -= got;
        sector += got;
    }
    return 1;
}

void pause_before_retry(unsigned retry) { Sleep(125u << (retry - 1)); }

bool ask_to_retry(cd_source* cd, const char* file) { return cd->ask && cd->ask(cd->number, file); }

int cd_exists(cd_source* cd, const char* rel) {
    if (cd->is_image) {
        iso_entry found;
        return iso_find(cd, rel, &found);
    }
    char p[PATH_CHARS];
    text_printf(p, sizeof p, "%s\\%s", cd->path, rel);
    return path_exists(p);
}

uint64_t cd_total_bytes(cd_source* cd) {
    if (cd->is_image) return iso_total(cd, cd->root_lba, cd->root_size, 0);
    folder_walk walk;
    walk.first_visit(cd->path);
    return dir_total(cd->path, 0, walk);
}

int cd_copy_all(cd_source* cd, const char* dest, progress* p) {
    if (cd->is_image) return iso_copy(cd, cd->root_lba, cd->root_size, dest, p, 0);
    folder_walk walk;
    walk.first_visit(cd->path);
    if (!dir_copy(cd, cd->path, dest, p, 0, walk)) return 0;
    // The total walked the same folders: what is skipped here was not counted.
    if (walk.repeated)
        setup_log("skipped folders in %s: %u reached again through links", cd->path, walk.repeated);
    return 1;
}

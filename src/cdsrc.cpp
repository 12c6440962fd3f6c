// Disc sources: opening every shape, sector reading, and the folder side of
// the disc operations. The image side lives in iso_reader.cpp.
#include "cdsrc.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string>

#include "formats/cuesheet.h"
#include "handles.h"
#include "log.h"

namespace {

const uint32_t RAW_SECTOR = 2352;
// A raw run is read whole into this buffer and its user data picked out; longer
// runs go in batches. One copy runs at a time, so one static buffer serves.
const uint32_t RAW_BATCH = 32;
unsigned char raw[RAW_BATCH * RAW_SECTOR];
// Plain runs are read straight into dest, in batches that keep ReadFile's
// 32-bit count far from overflow.
const uint32_t PLAIN_BATCH = 8192;

struct layout {
    uint32_t sector_size, data_offset;
};
const layout layouts[] = {{ISO_SECTOR, 0}, {RAW_SECTOR, 16}, {RAW_SECTOR, 24}};

// Reads up to len bytes at byte offset pos with one read call; the count
// read, or -1 when a call failed. A seek and a plain read: Wine serves a read
// at an OVERLAPPED offset about twice as slowly.
int64_t read_at(HANDLE fh, uint64_t pos, void* dest, DWORD len) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(pos);
    DWORD got = 0;
    if (!SetFilePointerEx(fh, at, nullptr, FILE_BEGIN) || !ReadFile(fh, dest, len, &got, nullptr))
        return -1;
    return got;
}

// Logical sector 16 must hold a primary volume descriptor in this layout.
bool probe(cd_source* cd, const layout& l) {
    cd->sector_size = l.sector_size;
    cd->data_offset = l.data_offset;
    unsigned char sector[ISO_SECTOR];
    uint64_t pos = uint64_t(ISO_PVD_SECTOR) * l.sector_size + l.data_offset;
    return read_at(cd->fh, pos, sector, ISO_SECTOR) == ISO_SECTOR &&
           iso::read_pvd(sector, &cd->root_lba, &cd->root_size);
}

// Whole logical sectors whose user data lies inside an image file of this size.
uint64_t whole_sectors(uint64_t file_size, const cd_source* cd) {
    uint64_t first_end = cd->data_offset + uint64_t(ISO_SECTOR);
    return file_size < first_end ? 0 : (file_size - first_end) / cd->sector_size + 1;
}

// A cue sheet is a few KB of text. A larger file is no sheet (an image that
// merely has a .cue name, say): it is never read whole, and opens as an image.
const uint64_t MAX_CUE_BYTES = 1 << 20;

// The image a cue sheet names, or the sheet itself when it names none.
std::string resolve_cue(const char* sheet) {
    uint64_t len = 0;
    unsigned char* text = read_file(sheet, &len, MAX_CUE_BYTES);
    if (!text) return sheet;
    text[len] = 0;
    std::string name, path = sheet;
    if (cue::image_name(reinterpret_cast<char*>(text), size_t(len), &name))
        path = cue::image_path(sheet, name);
    free(text);
    return path;
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

int dir_copy(const char* src, const char* dst, progress* p, int depth, folder_walk& walk) {
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
            ok = dir_copy(from, to, p, depth + 1, walk);
        } else {
            ok = copy_file(from, to, p);
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

    std::string file = p;
    const char* dot = strrchr(p, '.');
    if (dot && !_stricmp(dot, ".cue")) file = resolve_cue(p);

    cd->fh = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
    if (cd->fh == INVALID_HANDLE_VALUE) return nullptr;
    bool found = false;
    for (const layout& l : layouts)
        if ((found = probe(cd.get(), l))) break;
    if (!found) return nullptr;

    LARGE_INTEGER size;
    if (!GetFileSizeEx(cd->fh, &size)) return nullptr;
    cd->sectors = whole_sectors(uint64_t(size.QuadPart), cd.get());
    cd->is_image = 1;
    text_printf(cd->path, sizeof cd->path, "%s", file.c_str());
    text_printf(cd->desc, sizeof cd->desc, "image %s", cd->path);
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
    while (count > 0) {
        if (cd->sector_size == ISO_SECTOR) {
            uint32_t n = count < PLAIN_BATCH ? count : PLAIN_BATCH;
            DWORD want = n * ISO_SECTOR;
            if (read_at(cd->fh, sector * ISO_SECTOR + cd->data_offset, dest, want) != want) return 0;
            dest += want;
            count -= n;
            sector += n;
        } else {
            uint32_t n = count < RAW_BATCH ? count : RAW_BATCH;
            // The run spans from the first sector's user data to the last one's end.
            DWORD want = (n - 1) * cd->sector_size + ISO_SECTOR;
            int64_t got = read_at(cd->fh, sector * cd->sector_size + cd->data_offset, raw, want);
            uint32_t whole = got < ISO_SECTOR ? 0 : uint32_t((got - ISO_SECTOR) / cd->sector_size + 1);
            if (whole > n) whole = n;
            for (uint32_t i = 0; i < whole; i++)
                memcpy(dest + size_t(i) * ISO_SECTOR, raw + size_t(i) * cd->sector_size, ISO_SECTOR);
            if (whole < n) return 0;
            dest += size_t(n) * ISO_SECTOR;
            count -= n;
            sector += n;
        }
    }
    return 1;
}

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
    if (!dir_copy(cd->path, dest, p, 0, walk)) return 0;
    // The total walked the same folders: what is skipped here was not counted.
    if (walk.repeated)
        setup_log("skipped folders in %s: %u reached again through links", cd->path, walk.repeated);
    return 1;
}

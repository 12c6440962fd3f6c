// The floor for any copying program under Wine: copies files with ReadFile
// and WriteFile in 1 MiB chunks and does nothing else. A folder is copied
// whole (folders made, files copied, nothing else), which gives the floor for
// writing a tree of that many files. With "-" as DEST the files are only read.
//   bench_floor DEST|- FILE|FOLDER...
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "handles.h"

namespace {

const DWORD CHUNK = 1048576;
unsigned char buf[CHUNK];

const char* base_name(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// Bytes copied, or -1 on a failure.
long long copy_one(const char* src, const char* dest_dir) {
    file_handle in(CreateFileA(src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return -1;
    file_handle out;
    if (dest_dir) {
        char dst[MAX_PATH * 2];
        snprintf(dst, sizeof dst, "%s\\%s", dest_dir, base_name(src));
        out = file_handle(CreateFileA(dst, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return -1;
    }
    long long total = 0;
    for (;;) {
        DWORD got = 0, written = 0;
        if (!ReadFile(in.get(), buf, CHUNK, &got, nullptr)) return -1;
        if (got == 0) return total;
        if (out && (!WriteFile(out.get(), buf, got, &written, nullptr) || written != got)) return -1;
        total += got;
    }
}

// Copies the folder src as the folder into (or only reads its files when into
// is null); bytes copied or -1.
long long copy_tree(const char* src, const char* into) {
    if (into) CreateDirectoryA(into, nullptr);
    char pattern[MAX_PATH * 2];
    snprintf(pattern, sizeof pattern, "%s\\*", src);
    WIN32_FIND_DATAA fd;
    find_handle search(FindFirstFileA(pattern, &fd));
    if (!search) return -1;
    long long total = 0;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
        char child[MAX_PATH * 2], target[MAX_PATH * 2];
        snprintf(child, sizeof child, "%s\\%s", src, fd.cFileName);
        snprintf(target, sizeof target, "%s\\%s", into ? into : "", fd.cFileName);
        long long n = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                          ? copy_tree(child, into ? target : nullptr)
                          : copy_one(child, into);
        if (n < 0) return -1;
        total += n;
    } while (FindNextFileA(search.get(), &fd));
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_floor DEST|- FILE...\n");
        return 2;
    }
    const char* dest = strcmp(argv[1], "-") ? argv[1] : nullptr;
    if (dest) CreateDirectoryA(dest, nullptr);
    long long total = 0;
    for (int i = 2; i < argc; i++) {
        DWORD a = GetFileAttributesA(argv[i]);
        bool folder = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
        long long n;
        if (folder) {
            // A folder given again is copied again, beside the first copy.
            char into[MAX_PATH * 2];
            snprintf(into, sizeof into, "%s\\%s", dest ? dest : "", base_name(argv[i]));
            for (int k = 2; dest && GetFileAttributesA(into) != INVALID_FILE_ATTRIBUTES; k++)
                snprintf(into, sizeof into, "%s\\%s.%d", dest, base_name(argv[i]), k);
            n = copy_tree(argv[i], dest ? into : nullptr);
        } else {
            n = copy_one(argv[i], dest);
        }
        if (n < 0) {
            fprintf(stderr, "bench_floor: %s: error %lu\n", argv[i], GetLastError());
            return 1;
        }
        total += n;
    }
    printf("%lld bytes\n", total);
    return 0;
}

// File utilities shared by every module, and the progress meter that long
// copies advance. Paths are narrow strings in the process's code page, UTF-8
// (see text.h), with backslash separators; the bounded text helpers they use
// come with text.h.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "text.h"

typedef void (*progress_fn)(uint64_t done, uint64_t total, void* user);

struct progress {
    uint64_t done;
    uint64_t total;
    progress_fn callback;
    void* user;
};

// Adds n to done and tells the callback, if any, of every advance.
void progress_add(progress* p, uint64_t n);

int path_exists(const char* path);  // 1 if a file or folder exists there
int is_dir(const char* path);       // 1 if it exists and is a folder
int is_file(const char* path);      // 1 if it exists and is not a folder
int make_dirs(const char* path);    // 1 if the folder chain is in place afterwards
// 1 if all len bytes were written to path (missing parent folders are
// created); else 0 after logging "cannot write PATH (REASON)".
int write_file(const char* path, const void* data, uint64_t len);
// Whole file in a malloc'd buffer one byte longer than the file, or null.
unsigned char* read_file(const char* path, uint64_t* len_out);
// The same, but null without reading anything when the file is larger than max_len.
unsigned char* read_file(const char* path, uint64_t* len_out, uint64_t max_len);
// Writes n bytes to an open file (a HANDLE) with one call; 1 when all were
// written, else 0 after logging "cannot write %s (error ...)" with path; the
// code is then left for GetLastError.
int write_chunk(void* file, const void* data, uint32_t n, const char* path);
// Whether a copy reads its source again where a read failed: told the byte
// offset, the system's error code and how many reads there have failed in a
// row (1, 2, ...). It may wait before it answers.
using read_again_fn = std::function<bool(uint64_t offset, unsigned long error, unsigned failures)>;
// Chunked copy advancing p per chunk; 1 on success. A failed read of src
// fails the copy unless again (if given) asks to read there again. A source
// that holds more than limit bytes (it grows while it is copied, or is no
// file at all but a device behind a link) fails once limit bytes are written.
// A failure is logged ("cannot read %s (error ...)", "cannot write %s
// (error ...)") and its system error code is left for GetLastError.
int copy_file(const char* src, const char* dst, progress* p, const read_again_fn& again = nullptr,
              uint64_t limit = UINT64_MAX);

// bytes rounded up to whole clusters of a volume (cluster 0 or 1: bytes).
inline uint64_t whole_clusters(uint64_t bytes, uint32_t cluster) {
    return cluster > 1 ? (bytes + cluster - 1) / cluster * cluster : bytes;
}

// "error 112: There is not enough space on the disk." : the system's code and
// its own text for it, in the user's language, for a log line. A COM result
// (0x80070005) is given in hexadecimal; 0 (a call that set no code) says so.
std::string error_text(unsigned long code);

// A file's or folder's identity: its volume's serial number and its index
// there. Links are followed.
using file_id = std::pair<uint64_t, uint64_t>;
// False when the identity cannot be had (also on a file system without one).
bool identity_of(const char* path, file_id* id);

// 1 when path is folder or lies inside it, as the file system sees them
// (letter case, short names and links that lead there included); folder
// must exist. Parts of path that do not exist yet are taken as written.
int path_inside(const char* path, const char* folder);

// Bounded path composition: a 520-character buffer cuts at 519 characters.
enum { PATH_CHARS = 520, FILE_PATH_CHARS = 780 };

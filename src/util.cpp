// File utilities and the progress meter.
#include "util.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "handles.h"
#include "log.h"

namespace {

const DWORD COPY_CHUNK = 1048576;
// One copy runs at a time in the process, so one static buffer serves all.
unsigned char buf[COPY_CHUNK];

// Cuts a copy of path at its last backslash and makes sure that folder exists.
void make_parent(const char* path) {
    char dir[PATH_CHARS];
    text_printf(dir, sizeof dir, "%s", path);
    if (char* slash = strrchr(dir, '\\')) {
        *slash = 0;
        make_dirs(dir);
    }
}

}  // namespace

void progress_add(progress* p, uint64_t n) {
    p->done += n;
    if (p->callback) p->callback(p->done, p->total, p->user);
}

int path_exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int is_dir(const char* path) {
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int is_file(const char* path) {
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int make_dirs(const char* path) {
    char p[PATH_CHARS];
    text_printf(p, sizeof p, "%s", path);
    // Usually the parent is already in place and one call makes the folder;
    // walking the whole chain costs a call per component.
    if (CreateDirectoryA(p, nullptr)) return 1;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return is_dir(p);
    // The first three characters (a drive prefix such as C:\) are never a folder to create.
    for (size_t i = 3, n = strlen(p); i < n; i++) {
        if (p[i] == '\\' || p[i] == '/') {
            char sep = p[i];
            p[i] = 0;
            CreateDirectoryA(p, nullptr);
            p[i] = sep;
        }
    }
    // The last call's error says why, for the caller's line.
    if (CreateDirectoryA(p, nullptr)) return 1;
    const DWORD error = GetLastError();
    if (is_dir(p)) return 1;
    SetLastError(error);
    return 0;
}

int write_file(const char* path, const void* data, uint64_t len) {
    make_parent(path);
    file_handle f = create_for_write(path);
    if (!f) {
        setup_log("cannot write %s (%s)", path, error_text(GetLastError()).c_str());
        return 0;
    }
    // WriteFile counts in 32 bits: 4 GiB or more cannot be written in one call.
    if (len > 0xFFFFFFFFu) {
        setup_log("cannot write %s (%s)", path, error_text(ERROR_FILE_TOO_LARGE).c_str());
        return 0;
    }
    return write_chunk(f.get(), data, uint32_t(len), path);
}

unsigned char* read_file(const char* path, uint64_t* len_out) {
    return read_file(path, len_out, UINT64_MAX);
}

unsigned char* read_file(const char* path, uint64_t* len_out, uint64_t max_len) {
    file_handle f(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr));
    if (!f) return nullptr;
    LARGE_INTEGER size;
    // One ReadFile call counts in 32 bits, so 4 GiB or more can never be read whole.
    if (!GetFileSizeEx(f.get(), &size) || uint64_t(size.QuadPart) >= 0xFFFFFFFFu ||
        uint64_t(size.QuadPart) > max_len)
        return nullptr;
    auto* data = static_cast<unsigned char*>(malloc(size_t(size.QuadPart) + 1));
    if (!data) return nullptr;
    DWORD got = 0;
    if (!ReadFile(f.get(), data, DWORD(size.QuadPart), &got, nullptr) || got != size.QuadPart) {
        free(data);
        return nullptr;
    }
    *len_out = uint64_t(size.QuadPart);
    return data;
}

int write_chunk(void* file, const void* data, uint32_t n, const char* path) {
    DWORD written = 0;
    const BOOL ok = WriteFile(file, data, n, &written, nullptr);
    if (ok && written == n) return 1;
    // A call that succeeds but writes less has run out of room.
    const DWORD error = ok ? DWORD(ERROR_DISK_FULL) : GetLastError();
    setup_log("cannot write %s (%s)", path, error_text(error).c_str());
    SetLastError(error);
    return 0;
}

namespace {

// The copy itself: 0 on success, else the system error code of what failed,
// after the line that says so.
DWORD copy_into(const char* src, const char* dst, progress* p, const read_again_fn& again, uint64_t limit) {
    make_parent(dst);
    file_handle in(CreateFileA(src, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) {
        const DWORD error = GetLastError();
        setup_log("cannot read %s (%s)", src, error_text(error).c_str());
        return error;
    }
    file_handle out = create_for_write(dst);
    if (!out) {
        const DWORD error = GetLastError();
        setup_log("cannot write %s (%s)", dst, error_text(error).c_str());
        return error;
    }
    uint64_t offset = 0;
    unsigned failures = 0;  // failed reads at offset in a row
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), buf, COPY_CHUNK, &got, nullptr)) {
            const DWORD error = GetLastError();
            LARGE_INTEGER at;
            at.QuadPart = LONGLONG(offset);
            if (again && again(offset, error, ++failures) &&
                SetFilePointerEx(in.get(), at, nullptr, FILE_BEGIN))
                continue;
            setup_log("cannot read %s (%s)", src, error_text(error).c_str());
            return error;
        }
        failures = 0;
        if (got == 0) return 0;
        if (got > limit - offset) {
            setup_log("cannot copy %s: it holds more than the %llu bytes it had when the disc was measured", src,
                      static_cast<unsigned long long>(limit));
            return ERROR_FILE_TOO_LARGE;
        }
        if (!write_chunk(out.get(), buf, got, dst)) return GetLastError();
        offset += got;
        if (p) progress_add(p, got);
    }
}

}  // namespace

int copy_file(const char* src, const char* dst, progress* p, const read_again_fn& again, uint64_t limit) {
    // The code is set once both files are closed, so that closing cannot change it.
    const DWORD error = copy_into(src, dst, p, again, limit);
    if (error) SetLastError(error);
    return error == 0;
}

std::string error_text(unsigned long code) {
    // A call that failed without a code: "error 0: Success." would mislead.
    if (code == 0) return "no error code from the system";
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words;
    if (n && text) {
        std::wstring w(text, n);
        while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ')) w.pop_back();
        const int len = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), nullptr, 0, nullptr, nullptr);
        if (len > 0) {
            words.resize(size_t(len));
            WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), &words[0], len, nullptr, nullptr);
        }
    }
    if (text) LocalFree(text);
    // COM results and status codes read in hexadecimal, as they are documented.
    char number[16];
    snprintf(number, sizeof number, code >= 0x80000000u ? "0x%08lX" : "%lu", code);
    return std::string("error ") + number + (words.empty() ? "" : ": " + words);
}

bool identity_of(const char* path, file_id* id) {
    file_handle f(CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!f || !GetFileInformationByHandle(f.get(), &info)) return false;
    *id = {info.dwVolumeSerialNumber, uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return id->second != 0;
}

int path_inside(const char* path, const char* folder) {
    file_id want, have;
    if (!identity_of(folder, &want)) return 0;
    char full[PATH_CHARS];
    DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return 0;
    // path itself, then each folder above it up to its root.
    for (;;) {
        if (identity_of(full, &have) && have == want) return 1;
        char* cut = strrchr(full, '\\');
        if (!cut || cut[1] == 0) return 0;  // the root was the last to try
        cut[cut == full + 2 && full[1] == ':' ? 1 : 0] = 0;  // "C:\x" goes up to "C:\"
    }
}

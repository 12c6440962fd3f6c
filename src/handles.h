// RAII owners for the Windows handles the modules open, so that every file,
// search, registry key, module and resource update is closed on every path.
#pragma once
#include <windows.h>

template <typename Traits>
class unique_win {
public:
    using handle = typename Traits::handle;
    unique_win() = default;
    explicit unique_win(handle h) : h_(h) {}
    unique_win(const unique_win&) = delete;
    unique_win& operator=(const unique_win&) = delete;
    unique_win(unique_win&& o) noexcept : h_(o.release()) {}
    unique_win& operator=(unique_win&& o) noexcept {
        if (this != &o) {
            close();
            h_ = o.release();
        }
        return *this;
    }
    ~unique_win() { close(); }

    explicit operator bool() const { return Traits::valid(h_); }
    handle get() const { return h_; }
    handle release() {
        handle h = h_;
        h_ = Traits::invalid();
        return h;
    }
    void close() {
        if (Traits::valid(h_)) Traits::close(h_);
        h_ = Traits::invalid();
    }

private:
    handle h_ = Traits::invalid();
};

struct file_traits {
    using handle = HANDLE;
    static handle invalid() { return INVALID_HANDLE_VALUE; }
    static bool valid(handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void close(handle h) { CloseHandle(h); }
};
struct find_traits {
    using handle = HANDLE;
    static handle invalid() { return INVALID_HANDLE_VALUE; }
    static bool valid(handle h) { return h != INVALID_HANDLE_VALUE; }
    static void close(handle h) { FindClose(h); }
};
struct key_traits {
    using handle = HKEY;
    static handle invalid() { return nullptr; }
    static bool valid(handle h) { return h != nullptr; }
    static void close(handle h) { RegCloseKey(h); }
};
struct module_traits {
    using handle = HMODULE;
    static handle invalid() { return nullptr; }
    static bool valid(handle h) { return h != nullptr; }
    static void close(handle h) { FreeLibrary(h); }
};

using file_handle = unique_win<file_traits>;
using find_handle = unique_win<find_traits>;
using reg_key = unique_win<key_traits>;
using module_handle = unique_win<module_traits>;

// Opens path for writing as an empty file with normal attributes, replacing
// a file already there. A new file is made without the truncation that
// replacing implies: on ext4 a truncated file is flushed to disk when it is
// closed, which slows an extraction of many files.
inline file_handle create_for_write(const char* path) {
    file_handle f(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!f && GetLastError() == ERROR_FILE_EXISTS) {
        // A name that is taken by nothing one can see is a link that leads
        // nowhere (so Wine shows one): replacing it would create its target.
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
            SetLastError(ERROR_FILE_EXISTS);
            return f;
        }
        f = file_handle(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return f;
}

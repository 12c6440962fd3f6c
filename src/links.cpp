// Links in the install tree: how to tell one, and a removal that never acts
// through one.
#include "links.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

#include "handles.h"
#include "log.h"
#include "util.h"

namespace {

// What stands at a path, as far as links go.
enum class link_kind {
    none,    // a plain file or folder, or nothing
    told,    // a junction or symbolic link whose reparse tag the system reports
    untold,  // something that leads elsewhere without the system saying so
};

// The path of what path names, links followed, as the system spells it
// ("\\?\C:\..."); empty when it cannot be had.
std::string final_path(const char* path) {
    file_handle h(CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) return std::string();
    char out[FILE_PATH_CHARS];
    DWORD n = GetFinalPathNameByHandleA(h.get(), out, sizeof out, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return n != 0 && n < sizeof out ? std::string(out) : std::string();
}

// Whether the folder at path is where a volume is mounted: a disk of the
// machine's own, attached there by an administrator (Wine shows a Linux mount
// point as a reparse point too).
bool mounts_volume(const char* path) {
    char volume[PATH_CHARS];
    if (!GetVolumePathNameA(path, volume, sizeof volume)) return false;
    size_t n = strlen(volume);
    if (n > 0 && volume[n - 1] == '\\') volume[n - 1] = 0;
    return same_path(volume, path) != 0;
}

// The entry fd, listed at path in a folder whose final path is dir_final
// (empty when unknown).
link_kind link_of(const char* path, const WIN32_FIND_DATAA& fd, const std::string& dir_final) {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && mounts_volume(path)) return link_kind::none;
        // Wine 8 shows a host symbolic link to a folder as a reparse point without a tag.
        if (fd.dwReserved0 == 0) return link_kind::untold;
        if (IsReparseTagNameSurrogate(fd.dwReserved0)) return link_kind::told;
        // Other tags (cloud placeholders, deduplicated files) stand for themselves.
    }
    // Wine shows a host symbolic link to a file as a plain file: only where
    // it ends up gives it away.
    if (dir_final.empty()) return link_kind::none;
    std::string own = final_path(path);
    if (own.empty()) return link_kind::none;
    std::string expected = dir_final;
    if (expected.back() != '\\') expected += '\\';
    expected += fd.cFileName;
    return same_path(own.c_str(), expected.c_str()) ? link_kind::none : link_kind::untold;
}

// Where a network path goes on past "server\share\", whose server name
// starts at at.
size_t after_share(const char* p, size_t at) {
    for (int parts = 0; p[at] && parts < 2; at++)
        if (p[at] == '\\') parts++;
    return at;
}

// The length of a full path's root: "C:\", "\\server\share\", or either
// behind "\\?\"; 0 when it has none of these.
size_t root_length(const char* p) {
    size_t at = 0;
    if (!strncmp(p, "\\\\?\\", 4)) {
        if (!_strnicmp(p + 4, "UNC\\", 4)) return after_share(p, 8);
        at = 4;
    } else if (p[0] == '\\' && p[1] == '\\') {
        return after_share(p, 2);
    }
    if (isalpha(static_cast<unsigned char>(p[at])) && p[at + 1] == ':') return at + (p[at + 2] == '\\' ? 3 : 2);
    return 0;
}

link_kind kind_at(const char* path) {
    char full[PATH_CHARS];
    DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return link_kind::none;
    const size_t root = root_length(full);
    size_t len = strlen(full);
    while (len > root && full[len - 1] == '\\') full[--len] = 0;
    // A root is never a link (Wine shows its Z: drive, a link to the host's
    // root, as a reparse point); a wildcard would make the search below list
    // other names.
    if (len <= root || strpbrk(full + root, "*?")) return link_kind::none;

    WIN32_FIND_DATAA fd;
    {
        find_handle self(FindFirstFileA(full, &fd));
        if (!self) return link_kind::none;
    }
    // The folder that holds it: up to the last separator, or the root itself.
    const char* slash = strrchr(full + root, '\\');
    const std::string dir(full, slash ? size_t(slash - full) : root);
    return link_of(full, fd, dir.empty() ? std::string() : final_path(dir.c_str()));
}

// Removes a link the system has told us of; on Windows this acts on the link.
int unlink_told(const char* path) { return RemoveDirectoryA(path) || DeleteFileA(path); }

// Removes everything inside a plain folder.
void empty_folder(const char* dir) {
    const std::string dir_final = final_path(dir);
    char pattern[PATH_CHARS];
    text_printf(pattern, sizeof pattern, "%s\\*", dir);
    WIN32_FIND_DATAA fd;
    find_handle search(FindFirstFileA(pattern, &fd));
    if (!search) return;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
        char child[PATH_CHARS];
        text_printf(child, sizeof child, "%s\\%s", dir, fd.cFileName);
        switch (link_of(child, fd, dir_final)) {
        case link_kind::told: unlink_told(child); break;
        case link_kind::untold: break;  // left: removing it could remove what it leads to
        case link_kind::none:
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                empty_folder(child);
                RemoveDirectoryA(child);
            } else {
                SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child);
            }
            break;
        }
    } while (FindNextFileA(search.get(), &fd));
}

}  // namespace

int is_link(const char* path) { return kind_at(path) != link_kind::none; }

bool not_a_link(const char* path) {
    // Most of what the setup writes is new: one call tells.
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES || !is_link(path)) return true;
    setup_log("%s is a link to another place; the setup does not write through it", path);
    return false;
}

bool make_own_folder(const char* path) {
    // A folder made now leads nowhere else: only one made before is looked at.
    if (CreateDirectoryA(path, nullptr)) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return not_a_link(path);
    if (make_dirs(path)) return true;
    setup_log("cannot create %s (%s)", path, error_text(GetLastError()).c_str());
    return false;
}

int link_in_chain(const char* path, char* found, size_t found_size) {
    char full[PATH_CHARS];
    DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return 0;
    const size_t root = root_length(full);
    for (size_t i = root;; i++) {
        const char c = full[i];
        if ((c == '\\' || c == 0) && i > root && full[i - 1] != '\\') {
            full[i] = 0;
            if (!path_exists(full)) return 0;
            if (is_link(full)) {
                text_printf(found, found_size, "%s", full);
                return 1;
            }
            full[i] = c;
        }
        if (!c) return 0;
    }
}

int delete_tree(const char* dir) {
    switch (kind_at(dir)) {
    case link_kind::told: return unlink_told(dir);
    case link_kind::untold: return 0;
    case link_kind::none: break;
    }
    empty_folder(dir);
    return RemoveDirectoryA(dir);
}

int remove_file(const char* path) {
    switch (kind_at(path)) {
    case link_kind::told: return unlink_told(path);
    case link_kind::untold: return 0;
    case link_kind::none: break;
    }
    return DeleteFileA(path);
}

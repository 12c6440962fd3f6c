// The install pipeline: the one place where the steps of an installation are
// sequenced. Every step belongs to another module; this file only orders them,
// measures the discs for the progress meter and reports failures.
#include "install.h"

#include <objbase.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cdsrc.h"
#include "formats/icofile.h"
#include "game_profile.h"
#include "links.h"
#include "log.h"

namespace {

const uint64_t AFTER_COPY_BYTES = 8388608;  // work after the copies, credited as 8 MiB
const uint64_t GAME_FILES_BYTES = 6291456;  // of it, after the game files
const uint64_t FINISH_BYTES = 2097152;      // and at the very end
// A program's resources are rewritten whole when its icon changes; beyond the
// icon's own bytes, room for its directory entries and section alignment.
const uint64_t ICON_ROOM = 65536;

// The files the pipeline itself writes into the install folder.
const char GAME_EXE[] = "tolvenar.exe";
const char UNINSTALLER[] = "uninstall.exe";
// An icon source is read whole; no real one comes near this.
const uint64_t ICON_SOURCE_MAX = ico::MAX_FILE_SIZE;

HRSRC find_payload() { return FindResourceA(nullptr, "GAMEEXE", MAKEINTRESOURCEA(10)); }

void log_error(const char* fmt, ...) PRINTF_FORMAT(1, 2);
void log_error(const char* fmt, ...) {
    char msg[1000];
    va_list ap;
    va_start(ap, fmt);
    text_vprintf(msg, sizeof msg, fmt, ap);
    va_end(ap);
    setup_log("ERROR: %s", msg);
}

uint64_t file_size(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &a)) return 0;
    return uint64_t(a.nFileSizeHigh) << 32 | a.nFileSizeLow;
}

// Reads an icon source file and hands its bytes to an injector; a file that
// cannot be read is skipped without a line.
void inject_from_file(const char* exe, const char* tree, const char* rel,
                      int (*inject)(const char*, const unsigned char*, uint64_t)) {
    char path[PATH_CHARS];
    text_printf(path, sizeof path, "%s\\%s", tree, rel);
    uint64_t len = 0;
    if (unsigned char* data = read_file(path, &len, ICON_SOURCE_MAX)) {
        inject(exe, data, len);
        free(data);
    } else if (file_size(path) > ICON_SOURCE_MAX) {
        log_error("%s is too large for an icon", path);
    }
}

void give_icon(const char* exe, const char* cd_tree, const char* hd_tree) {
    if (const char* rel = game_icon_exe()) {
        char src[PATH_CHARS];
        text_printf(src, sizeof src, "%s\\%s", hd_tree, rel);
        inject_icon_from_exe(exe, src);
    }
    if (const char* rel = game_icon_lbm()) inject_from_file(exe, cd_tree, rel, inject_icon_lbm);
    if (const char* rel = game_icon_ico()) inject_from_file(exe, cd_tree, rel, inject_icon_ico);
}

// Copies the running program into the install folder as its uninstaller,
// unless it already is that file.
void place_uninstaller(const char* install_dir) {
    char self[PATH_CHARS], uninstaller[PATH_CHARS];
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    if (n == 0 || n >= sizeof self) return;
    text_printf(uninstaller, sizeof uninstaller, "%s\\%s", install_dir, UNINSTALLER);
    if (same_path(self, uninstaller)) return;
    // Not a failure of the installation; copy_file's line says what is missing.
    copy_file(self, uninstaller, nullptr);
}

// The volume that will hold dir: its free bytes and its cluster size, asked
// of dir's nearest existing ancestor (the folder itself may not exist yet);
// false when unknown.
struct volume_space {
    uint64_t free = 0;
    uint32_t cluster = 1;
};
bool space_of(const char* dir, volume_space* out) {
    char probe[PATH_CHARS];
    text_printf(probe, sizeof probe, "%s", dir);
    while (probe[0] && !is_dir(probe)) {
        char* cut = strrchr(probe, '\\');
        if (char* slash = strrchr(probe, '/'); slash && (!cut || slash > cut)) cut = slash;
        if (!cut) {
            probe[0] = 0;  // a relative name: the current folder's volume
            break;
        }
        *cut = 0;
        if (strlen(probe) == 2 && probe[1] == ':') strcpy(probe + 2, "\\");
    }
    ULARGE_INTEGER avail;
    if (!GetDiskFreeSpaceExA(probe[0] ? probe : nullptr, &avail, nullptr, nullptr)) return false;
    out->free = avail.QuadPart;
    char root[PATH_CHARS];
    DWORD per_cluster = 0, sector_bytes = 0, free_clusters = 0, clusters = 0;
    if (GetVolumePathNameA(probe[0] ? probe : ".", root, sizeof root) &&
        GetDiskFreeSpaceA(root, &per_cluster, &sector_bytes, &free_clusters, &clusters) && per_cluster &&
        sector_bytes)
        out->cluster = per_cluster * sector_bytes;
    return true;
}

// What an earlier installation in dir takes, which a rerun replaces.
uint64_t installed_bytes(const char* dir, uint32_t cluster) {
    char path[PATH_CHARS];
    text_printf(path, sizeof path, "%s\\game", dir);
    uint64_t sum = 0;
    if (is_dir(path)) {
        source_ptr tree(cd_open(path));
        if (tree) sum += tree->measure(cluster).allocated;
    }
    for (const char* name : {GAME_EXE, UNINSTALLER}) {
        text_printf(path, sizeof path, "%s\\%s", dir, name);
        sum += whole_clusters(file_size(path), cluster);
    }
    return sum;
}

// Whether an installation into install_dir can be made without writing
// through a link it did not make: the install folder and the folders above it,
// and every folder and file of the tree that the installation writes. A link
// there may lead into anything of the user's, which the removal would then
// delete; the user is told instead. Logs the first link found.
bool no_links(const char* install_dir) {
    char link[PATH_CHARS];
    bool found = link_in_chain(install_dir, link, sizeof link);
    const std::string dir = install_dir, game = dir + "\\game", hd = game + "\\hd";
    std::vector<std::string> written = {game, game + "\\cd", hd};
    for (const char* const* rel = game_hd_paths(); *rel; rel++) written.push_back(hd + "\\" + *rel);
    for (const char* name : {GAME_EXE, UNINSTALLER}) written.push_back(dir + "\\" + name);
    for (size_t i = 0; !found && i < written.size(); i++) {
        if (is_link(written[i].c_str())) {
            text_printf(link, sizeof link, "%s", written[i].c_str());
            found = true;
        }
    }
    if (found) log_error("%s is a link to another place; the setup does not write through it", link);
    return !found;
}

uint64_t mb_up(uint64_t bytes) { return (bytes + 1048575) >> 20; }

// Whether what the installation writes fits the volume of the install
// folder; logs why not. needed is what it writes in whole clusters.
bool space_for(const char* install_dir, const volume_space& volume, uint64_t needed) {
    const uint64_t replaced = installed_bytes(install_dir, volume.cluster);
    needed = needed > replaced ? needed - replaced : 0;
    if (needed <= volume.free) return true;
    setup_log("ERROR: not enough free space in %s: %llu MB needed, %llu MB free", install_dir,
              static_cast<unsigned long long>(mb_up(needed)),
              static_cast<unsigned long long>(mb_up(volume.free)));
    return false;
}

// A copy must never read what it writes: the install folder may not lie in
// a disc's folder, and no disc may lie in the game folder, which the copy
// fills.
bool apart_from_discs(const install_opts* o, const char* game, const source_ptr (&disc)[2]) {
    for (int i = 0; i < 2; i++) {
        if (disc[i]->holds(o->install_dir)) {
            log_error("cannot install into %s: it lies inside disc %d (%s), which the setup copies from",
                      o->install_dir, i + 1, cd_describe(disc[i].get()));
            return false;
        }
        if (is_dir(game) && disc[i]->lies_in(game)) {
            log_error("cannot install into %s: disc %d (%s) lies inside its game folder, which the setup fills",
                      o->install_dir, i + 1, cd_describe(disc[i].get()));
            return false;
        }
    }
    return true;
}

void make_shortcuts(const install_opts* o, const char* game_exe) {
    char start_menu_link[PATH_CHARS], desktop_link[PATH_CHARS];
    shortcut_paths(start_menu_link, desktop_link);
    // Only a successful initialisation is balanced by a release.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (o->start_menu) make_link(start_menu_link, game_exe, o->install_dir);
    if (o->desktop) make_link(desktop_link, game_exe, o->install_dir);
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace

int do_install(const install_opts* o, progress_fn cb, void* user, disc_question ask) {
    setup_log("Install to %s", o->install_dir);
    if (!find_payload()) {
        setup_log("ERROR: %s", "this setup does not contain the game executable");
        return 0;
    }
    progress p{0, AFTER_COPY_BYTES, cb, user};

    // Both discs are opened, identified and measured before anything is copied.
    char game[PATH_CHARS], hd[PATH_CHARS], cd[PATH_CHARS], game_exe[PATH_CHARS];
    text_printf(game, sizeof game, "%s\\game", o->install_dir);
    text_printf(hd, sizeof hd, "%s\\hd", game);
    text_printf(cd, sizeof cd, "%s\\cd", game);
    volume_space volume;
    const bool known_volume = space_of(o->install_dir, &volume);
    uint64_t needed = 0;  // in whole clusters of the install folder's volume
    source_ptr disc[2];
    for (int i = 0; i < 2; i++) {
        std::string why;
        disc[i].reset(cd_open(o->cd[i], &why));
        if (!disc[i] || !game_is_disc(disc[i].get(), unsigned(i))) {
            if (disc[i]) {
                log_error("this is not disc %d of Tolvenar", i + 1);
            } else {
                setup_log("disc %d: %s", i + 1, why.c_str());
                log_error("disc %d is not a readable disc, image or folder", i + 1);
            }
            return 0;
        }
        const disc_size size = disc[i]->measure(volume.cluster);
        p.total += size.bytes;
        needed += size.allocated;
    }
    const uint32_t estimated_kib = uint32_t((p.total + 12582912) >> 10);

    // Nothing is created through a link, nor where a copy would read what it
    // writes, nor unless it all fits: both discs, the game files laid out from
    // them, the game program with its icon, the uninstaller, and room for the rest.
    if (!no_links(o->install_dir) || !apart_from_discs(o, game, disc)) return 0;
    char self[PATH_CHARS];
    DWORD self_len = GetModuleFileNameA(nullptr, self, sizeof self);
    const uint64_t uninstaller = self_len && self_len < sizeof self ? file_size(self) : 0;
    uint64_t icon = 0;
    for (const source_ptr& d : disc) {
        uint64_t bytes = 0;
        if (const char* rel = game_icon_ico(); rel && d->size_of(rel, &bytes) && bytes <= ICON_SOURCE_MAX)
            icon = std::max(icon, bytes);
    }
    needed += game_files_size(disc[0].get(), volume.cluster) +
              whole_clusters(SizeofResource(nullptr, find_payload()) + icon + ICON_ROOM, volume.cluster) +
              whole_clusters(uninstaller, volume.cluster) + AFTER_COPY_BYTES;
    if (known_volume && !space_for(o->install_dir, volume, needed)) return 0;

    if (!make_dirs(hd)) {
        setup_log("cannot create %s (%s)", hd, error_text(GetLastError()).c_str());
        setup_log("ERROR: %s", "cannot create the install folder");
        return 0;
    }

    // Both discs land in one cd tree; disc 2 replaces disc 1's file of the
    // same path. Each disc is closed as soon as it is copied.
    for (int i = 0; i < 2; i++) {
        setup_log("Copying disc %d: %s ...", i + 1, cd_describe(disc[i].get()));
        disc[i]->set_question(i + 1, ask, user);
        int ok = cd_copy_all(disc[i].get(), cd, &p);
        disc[i].reset();
        if (!ok) {
            log_error("copying disc %d failed", i + 1);
            return 0;
        }
    }

    setup_log("Setting up the game files ...");
    if (!game_install_files(cd, hd)) return 0;
    progress_add(&p, GAME_FILES_BYTES);

    text_printf(game_exe, sizeof game_exe, "%s\\%s", o->install_dir, GAME_EXE);
    HRSRC payload = find_payload();
    HGLOBAL loaded = payload ? LoadResource(nullptr, payload) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        setup_log("ERROR: %s", "this setup does not contain the game executable");
        return 0;
    }
    if (!write_file(game_exe, bytes, SizeofResource(nullptr, payload))) {
        log_error("cannot write %s", game_exe);
        return 0;
    }

    // Nothing from here on can fail the installation.
    give_icon(game_exe, cd, hd);
    place_uninstaller(o->install_dir);
    write_uninstall_entry(o, estimated_kib);
    make_shortcuts(o, game_exe);
    progress_add(&p, FINISH_BYTES);
    setup_log("Done.");
    return 1;
}

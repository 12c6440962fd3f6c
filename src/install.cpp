// The install pipeline: the one place where the steps of an installation are
// sequenced. Every step belongs to another module; this file only orders them,
// measures the discs for the progress meter and reports failures.
#include "install.h"

#include <objbase.h>

#include <cstdio>
#include <cstdlib>

#include "cdsrc.h"
#include "game_install.h"

namespace {

const uint64_t AFTER_COPY_BYTES = 8388608;  // work after the copies, credited as 8 MiB
const uint64_t GAME_FILES_BYTES = 6291456;  // of it, after the game files
const uint64_t FINISH_BYTES = 2097152;      // and at the very end

HRSRC find_payload() { return FindResourceA(nullptr, "GAMEEXE", MAKEINTRESOURCEA(10)); }

void log_error(const char* fmt, int disc) {
    char msg[160];
    snprintf(msg, sizeof msg, fmt, disc);
    setup_log("ERROR: %s", msg);
}

// Reads an icon source file and hands its bytes to an injector; a file that
// cannot be read is skipped without a line.
void inject_from_file(const char* exe, const char* tree, const char* rel,
                      int (*inject)(const char*, const unsigned char*, uint64_t)) {
    char path[PATH_CHARS];
    snprintf(path, sizeof path, "%s\\%s", tree, rel);
    uint64_t len = 0;
    if (unsigned char* data = read_file(path, &len)) {
        inject(exe, data, len);
        free(data);
    }
}

void give_icon(const char* exe, const char* cd_tree, const char* hd_tree) {
    if (const char* rel = game_icon_exe()) {
        char src[PATH_CHARS];
        snprintf(src, sizeof src, "%s\\%s", hd_tree, rel);
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
    snprintf(uninstaller, sizeof uninstaller, "%s\\uninstall.exe", install_dir);
    if (_stricmp(self, uninstaller) != 0) CopyFileA(self, uninstaller, FALSE);
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

int do_install(const install_opts* o, progress_fn cb, void* user) {
    setup_log("Install to %s", o->install_dir);
    if (!find_payload()) {
        setup_log("ERROR: %s", "this setup does not contain the game executable");
        return 0;
    }
    progress p{0, AFTER_COPY_BYTES, cb, user};

    // Both discs are opened, identified and measured before anything is copied.
    source_ptr disc[2];
    for (int i = 0; i < 2; i++) {
        disc[i].reset(cd_open(o->cd[i]));
        if (!disc[i] || !game_is_disc(disc[i].get(), unsigned(i))) {
            const char* msg = disc[i] ? "this is not disc %d of Tolvenar"
                                      : "disc %d is not a readable disc, image or folder";
            disc[0].reset();
            disc[1].reset();
            log_error(msg, i + 1);
            return 0;
        }
        p.total += cd_total_bytes(disc[i].get());
    }
    const uint32_t estimated_kib = uint32_t((p.total + 12582912) >> 10);

    char game[PATH_CHARS], hd[PATH_CHARS], cd[PATH_CHARS], game_exe[PATH_CHARS];
    snprintf(game, sizeof game, "%s\\game", o->install_dir);
    snprintf(hd, sizeof hd, "%s\\hd", game);
    snprintf(cd, sizeof cd, "%s\\cd", game);
    if (!make_dirs(hd)) {
        disc[0].reset();
        disc[1].reset();
        setup_log("ERROR: %s", "cannot create the install folder");
        return 0;
    }

    // Both discs land in one cd tree; disc 2 replaces disc 1's file of the same path.
    for (int i = 0; i < 2; i++) {
        setup_log("Copying disc %d: %s ...", i + 1, cd_describe(disc[i].get()));
        int ok = cd_copy_all(disc[i].get(), cd, &p);
        disc[i].reset();
        if (!ok) {
            disc[1].reset();
            log_error("copying disc %d failed", i + 1);
            return 0;
        }
    }

    setup_log("Setting up the game files ...");
    if (!game_install_files(cd, hd)) return 0;
    progress_add(&p, GAME_FILES_BYTES);

    snprintf(game_exe, sizeof game_exe, "%s\\tolvenar.exe", o->install_dir);
    HRSRC payload = find_payload();
    HGLOBAL loaded = payload ? LoadResource(nullptr, payload) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        setup_log("ERROR: %s", "this setup does not contain the game executable");
        return 0;
    }
    if (!write_file(game_exe, bytes, SizeofResource(nullptr, payload))) return 0;

    // Nothing from here on can fail the installation.
    give_icon(game_exe, cd, hd);
    place_uninstaller(o->install_dir);
    write_uninstall_entry(o, estimated_kib);
    make_shortcuts(o, game_exe);
    progress_add(&p, FINISH_BYTES);
    setup_log("Done.");
    return 1;
}

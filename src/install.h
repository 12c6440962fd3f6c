// The install module: the install pipeline that sequences one installation,
// the icon transplant that gives the game program its icon, the shortcuts and
// uninstall entry, and the two-stage uninstaller.
#pragma once
#include <cstdint>

#include "cdsrc.h"
#include "util.h"

// What one installation reads: the two disc sources, the install folder and
// the shortcut choices.
struct install_opts {
    char cd[2][520];       // sources of disc 1 and disc 2; empty means none
    char install_dir[520];
    int desktop;           // nonzero: make the desktop shortcut
    int start_menu;        // nonzero: make the Start-menu shortcut
};

// Runs one whole installation from o; 1 when complete, 0 at the first failure
// (the reason is in the log). cb (may be null) is told of every progress
// advance; ask (may be null) is asked whether to read a disc again that
// still fails after the retries. Both are called with user.
int do_install(const install_opts* o, progress_fn cb, void* user, disc_question ask = nullptr);

// Icon transplant (icon.cpp). Each writes the icon resources of the program
// file exe in one update, committed at the end or dropped whole; 1 on success.
int inject_icon_ico(const char* exe, const unsigned char* data, uint64_t len);
int inject_icon_from_exe(const char* exe, const char* src);
int inject_icon_lbm(const char* exe, const unsigned char* data, uint64_t len);

// Shortcuts and uninstall entry (shortcuts.cpp).
void shortcut_paths(char* start_menu_link, char* desktop_link);  // each at least 520 chars
void make_link(const char* link, const char* target, const char* workdir);
// Writes the uninstall entry of an installation into o->install_dir.
void write_uninstall_entry(const install_opts* o, uint32_t estimated_kib);
// The entry's key under HKEY_CURRENT_USER.
extern const char uninstall_key[];

// Uninstaller (uninstall.cpp). Stage 1 returns the exit code 1 when it could
// not start stage 2 (nothing is then removed), else 0; stage 2 always 0.
int uninstall_stage1(int quiet);
int uninstall_stage2(const char* dir, int quiet);
// Removes the shortcuts, the entry, dir's game tree and named files, and dir
// itself if that leaves it empty, deleting nothing through a link; 1, or 0
// when dir itself is a link, whose files then all stay.
int do_uninstall(const char* dir);

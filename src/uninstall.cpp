// The uninstaller: the installed uninstall.exe is the setup program itself. A
// running program file cannot delete itself, so stage 1 (in the install folder)
// asks, copies itself to the temporary folder and starts that copy as stage 2,
// which removes the installation and leaves its own file to the next restart.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "handles.h"
#include "install.h"
#include "links.h"

namespace {

const char caption[] = "Tolvenar uninstall";
// How long stage 1 keeps trying to write its temporary copy while an earlier
// removal still runs from it.
const DWORD COPY_RETRY_MS = 5000;

// What an installation and the game put into the install folder, besides the game tree.
const char* const files[] = {"tolvenar.exe",          "uninstall.exe", "tolvenar.ini",
                             "tolvenar_registry.txt", "tolvenar.log",  "tolvenar_setup.log"};

// The running program's path; 0 when it does not fit, since a cut path would
// name some other folder or file.
int own_path(char* out) {
    DWORD n = GetModuleFileNameA(nullptr, out, PATH_CHARS);
    return n != 0 && n < PATH_CHARS;
}

// A child path, or 0 when it would be cut: a cut name may be someone else's file.
int child_path(char* out, const char* dir, const char* name) {
    int n = text_printf(out, PATH_CHARS, "%s\\%s", dir, name);
    return n > 0 && n < PATH_CHARS;
}

}  // namespace

int uninstall_stage1(int quiet) {
    char self[PATH_CHARS];
    if (!own_path(self)) return 0;
    char dir[PATH_CHARS];
    text_printf(dir, sizeof dir, "%s", self);
    if (char* slash = strrchr(dir, '\\')) *slash = 0;

    if (!quiet && MessageBoxA(nullptr, "Remove Tolvenar (Varnix) and its saved games?", caption,
                              MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;

    char tmp[PATH_CHARS];  // room for a folder of MAX_PATH characters in UTF-8 too
    DWORD n = GetTempPathA(sizeof tmp, tmp);
    char copy[PATH_CHARS] = "";
    if (n != 0 && n < sizeof tmp) text_printf(copy, sizeof copy, "%stolvenar_uninstall.exe", tmp);
    // Without a fresh copy there is nothing of ours to start: whatever an
    // earlier removal left there is not run. That earlier removal may still
    // be running from the copy, or just ending, so the copy is retried for a
    // while before the user is told.
    bool copied = false;
    for (DWORD start = GetTickCount(); copy[0];) {
        if ((copied = CopyFileA(self, copy, FALSE) != 0)) break;
        if (GetTickCount() - start >= COPY_RETRY_MS) break;
        Sleep(100);
    }

    // Backslashes before a closing quote would escape it when the command line
    // is split again ("C:\" would swallow the quote), so a trailing run is doubled.
    const char* tail = dir + strlen(dir);
    while (tail > dir && tail[-1] == '\\') --tail;
    char cmd[1300];
    text_printf(cmd, sizeof cmd, "\"%s\" /uninstall2 \"%s%s\"%s", copy, dir, tail, quiet ? " /quiet" : "");

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (copied && CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        file_handle process(pi.hProcess), thread(pi.hThread);
        return 0;
    }
    // Nothing was removed: saying so is better than ending as if it had worked.
    if (!quiet)
        MessageBoxA(nullptr,
                    "Tolvenar could not be removed: the uninstaller cannot start from the "
                    "temporary folder. Please try again in a moment.",
                    caption, MB_OK | MB_ICONERROR);
    return 1;
}

int uninstall_stage2(const char* dir, int quiet) {
    Sleep(800);  // lets stage 1 end, so that uninstall.exe is free to delete
    if (do_uninstall(dir)) {
        if (!quiet) MessageBoxA(nullptr, "Tolvenar has been removed.", caption, MB_OK | MB_ICONINFORMATION);
    } else if (!quiet) {
        char left[PATH_CHARS + 200];
        text_printf(left, sizeof left,
                    "Tolvenar's shortcuts and its entry have been removed. Its files stay: the folder %s "
                    "is a link to another place, and nothing is deleted through a link.",
                    dir);
        MessageBoxA(nullptr, left, caption, MB_OK | MB_ICONWARNING);
    }
    char self[PATH_CHARS];
    if (own_path(self)) MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return 0;
}

int do_uninstall(const char* dir) {
    char start_menu_link[PATH_CHARS], desktop_link[PATH_CHARS];
    shortcut_paths(start_menu_link, desktop_link);
    if (start_menu_link[0]) DeleteFileA(start_menu_link);
    if (desktop_link[0]) DeleteFileA(desktop_link);

    RegDeleteKeyA(HKEY_CURRENT_USER, uninstall_key);

    // A folder that is a link leads to someone else's: nothing in it is ours.
    if (is_link(dir)) return 0;
    char path[PATH_CHARS];
    if (child_path(path, dir, "game")) delete_tree(path);
    for (const char* name : files) {
        if (child_path(path, dir, name)) remove_file(path);
    }
    // Only an empty folder goes: files of the user's own keep it.
    RemoveDirectoryA(dir);
    return 1;
}

// Start-up and command line.
#include "setup.h"

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "cdsrc.h"
#include "game_profile.h"
#include "handles.h"
#include "install.h"
#include "log.h"
#include "run_mode.h"
#include "window.h"

namespace {
int quiet;     // 1 after "/quiet": the uninstaller asks and confirms nothing
install_opts opts;
std::vector<std::string> args;  // the command line in the process's code page (UTF-8); [0] is the program

// The start-up scan tries at most this many sources in all, CD drives
// included. A folder beside a setup holds a few images, a downloads folder
// some dozens; each try reads at most a 1 MiB descriptor and a few sectors,
// so a folder of thousands of candidates costs a second or two, not minutes.
const unsigned MAX_CANDIDATES = 64;

// What the start-up scan looks for and has found: the discs that the command
// line does not name.
struct disc_scan {
    bool wanted[2];
    char found[2][520];
    unsigned tried;
    bool cut_short;  // a candidate was left untried for the bound

    bool done() const { return (!wanted[0] || found[0][0]) && (!wanted[1] || found[1][0]); }
    bool may_try() const { return !done() && tried < MAX_CANDIDATES; }
};
disc_scan scan;

// Splits the wide command line by the system's rules and converts each
// argument to the process's code page, UTF-8, so that any character of a
// path arrives whole. A command line that cannot be split is taken as the
// program alone.
void split_args() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return;
    for (int i = 0; i < count; i++) {
        int n = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string a(n > 0 ? size_t(n) : 1, '\0');
        if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide[i], -1, &a[0], n, nullptr, nullptr);
        a.resize(strlen(a.c_str()));
        args.push_back(a);
    }
    LocalFree(wide);
}

bool is(size_t i, const char* sw) { return _stricmp(args[i].c_str(), sw) == 0; }

// Tries one candidate source as disc 1, then as disc 2, for the discs still sought.
void take_disc(const char* path) {
    if (!scan.may_try()) {
        scan.cut_short = scan.cut_short || !scan.done();
        return;
    }
    scan.tried++;
    cd_source* cd = cd_open(path);
    if (!cd) return;
    for (int i = 0; i < 2; i++) {
        if (scan.wanted[i] && !scan.found[i][0] && game_is_disc(cd, unsigned(i))) {
            text_printf(scan.found[i], sizeof scan.found[i], "%s", path);
            break;
        }
    }
    cd_close(cd);
}

// Every CD drive from C: to Z:, empty drives included.
void detect_drives() {
    DWORD drives = GetLogicalDrives();
    for (int bit = 2; bit <= 25 && scan.may_try(); bit++) {
        if (!(drives & (1u << bit))) continue;
        char root[4] = {char('A' + bit), ':', '\\', 0};
        if (GetDriveTypeA(root) == DRIVE_CDROM) take_disc(root);
    }
}

// Disc images in the setup program's own folder, in listing order: plain
// images and cue sheets first, then the other rips' descriptors.
void detect_images() {
    if (!scan.may_try()) return;
    char dir[520];
    DWORD n = GetModuleFileNameA(nullptr, dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) return;
    if (char* slash = strrchr(dir, '\\')) *slash = 0;
    // One listing, whose images are tried in two rounds once it is closed.
    // It stops once the first round holds one more than the tries left: the
    // one left over tells the scan that it stopped short.
    const size_t room = MAX_CANDIDATES - scan.tried + 1;
    std::vector<std::string> first, then;
    {
        char pattern[520];
        text_printf(pattern, sizeof pattern, "%s\\*", dir);
        WIN32_FIND_DATAA fd;
        find_handle search(FindFirstFileA(pattern, &fd));
        if (!search) return;
        do {
            const char* dot = strrchr(fd.cFileName, '.');
            if (!dot) continue;
            char path[780];
            text_printf(path, sizeof path, "%s\\%s", dir, fd.cFileName);
            if (!_stricmp(dot, ".iso") || !_stricmp(dot, ".cue"))
                first.push_back(path);
            else if ((!_stricmp(dot, ".ccd") || !_stricmp(dot, ".mds") || !_stricmp(dot, ".nrg") ||
                      !_stricmp(dot, ".toc")) &&
                     then.size() < room)
                then.push_back(path);
        } while (first.size() < room && FindNextFileA(search.get(), &fd));
    }
    for (const std::string& path : first) take_disc(path.c_str());
    for (const std::string& path : then) take_disc(path.c_str());
}

// The switch's value: the next argument, or empty when the switch is last.
void take_value(size_t i, char* field) {
    text_printf(field, 520, "%s", i + 1 < args.size() ? args[i + 1].c_str() : "");
}

// Applies the switches to opts; the disc switches also take their disc out
// of the start-up scan, since their value replaces whatever it would find.
void apply_switches() {
    for (size_t i = 1; i < args.size();) {
        const char* a = args[i].c_str();
        if (is(i, "/silent")) {
            set_unattended(true);
        } else if (is(i, "/nodesktop")) {
            opts.desktop = 0;
        } else if (is(i, "/nostartmenu")) {
            opts.start_menu = 0;
        } else if (!_strnicmp(a, "/cd", 3) && (!a[3] || (a[3] == '2' && !a[4]))) {
            const int disc = a[3] ? 1 : 0;
            take_value(i, opts.cd[disc]);
            scan.wanted[disc] = false;
            i += 2;
            continue;
        } else if (is(i, "/dir")) {
            take_value(i, opts.install_dir);
            i += 2;
            continue;
        }
        i++;
    }
}

}  // namespace

int setup_main(HINSTANCE instance, int show) {
    split_args();
    for (size_t i = 1; i < args.size(); i++)
        if (is(i, "/quiet")) quiet = 1;
    // The uninstaller's stages come before everything else, without a log.
    for (size_t i = 1; i < args.size(); i++) {
        if (is(i, "/uninstall")) {
            return uninstall_stage1(quiet);
        }
        if (is(i, "/uninstall2")) {
            if (i + 1 == args.size()) break;
            uninstall_stage2(args[i + 1].c_str(), quiet);
            return 0;
        }
    }

    log_open();
    const char default_dir[] = "C:\\Games\\Tolvenar";
    text_printf(opts.install_dir, sizeof opts.install_dir, "%s", default_dir);
    opts.desktop = 1;
    opts.start_menu = 1;
    scan.wanted[0] = scan.wanted[1] = true;
    apply_switches();
    // The defaults are what the scan finds; a disc that the command line
    // names is not looked for, and its default stays empty.
    detect_drives();
    detect_images();
    if (scan.cut_short)
        setup_log("stopped looking for discs after %u candidates", MAX_CANDIDATES);
    setup_log("default disc %d: '%s'", 1, scan.found[0]);
    setup_log("default disc %d: '%s'", 2, scan.found[1]);
    setup_log("default dir '%s'", default_dir);
    for (int i = 0; i < 2; i++)
        if (scan.wanted[i]) text_printf(opts.cd[i], sizeof opts.cd[i], "%s", scan.found[i]);

    if (unattended()) {
        int ok = do_install(&opts, nullptr, nullptr);
        log_close();
        return ok ? 0 : 1;
    }
    run_window(instance, show, &opts);
    log_close();
    return 0;
}

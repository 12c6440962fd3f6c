// The game profile of Tolvenar.
#include "game_profile.h"

#include <windows.h>

#include <cstdio>

#include "log.h"
#include "run_mode.h"
#include "util.h"

namespace {

// Files that identify each disc, tested in order; a row ends at its first null.
const char* const files[2][4] = {
    {"TLID.000", "TL\\TOLVENAR.EXE", nullptr, nullptr},
    {"TLID.001", "TL\\WITNESS\\AUDIO\\SAMPLES\\00W01010.MPS", nullptr, nullptr},
};

// Program files copied from the cd tree's TL folder; only the first is required.
const char* const prog[] = {"TOLVENAR.EXE", "DUZOZ.EXE"};
// Everything written in the hd tree: the TL folder, the programs, the settings file.
const char* const hd_paths[] = {"TL", "TL\\TOLVENAR.EXE", "TL\\DUZOZ.EXE", "TL\\TLP.DAT", nullptr};

const char* const missing_program = "TL\\TOLVENAR.EXE is missing on disc 1.";

// The settings file: the drive root on its first line, then an empty line.
const unsigned char settings[7] = {'D', ':', '\\', '\r', '\n', '\r', '\n'};

}  // namespace

int game_is_disc(cd_source* cd, unsigned index) {
    if (!cd || index > 1) return 0;
    for (const char* const* name = files[index]; name < files[index] + 4 && *name; name++)
        if (!cd_exists(cd, *name)) return 0;
    return 1;
}

uint64_t game_files_size(cd_source* disc1, uint32_t cluster) {
    uint64_t sum = whole_clusters(sizeof settings, cluster) + whole_clusters(1, cluster);  // TLP.DAT and TL
    for (const char* name : prog) {
        char rel[PATH_CHARS];
        text_printf(rel, sizeof rel, "TL\\%s", name);
        uint64_t bytes = 0;
        if (disc1->size_of(rel, &bytes)) sum += whole_clusters(bytes, cluster);
    }
    return sum;
}

int game_install_files(const char* cd_tree, const char* hd_tree) {
    char tl[PATH_CHARS];
    text_printf(tl, sizeof tl, "%s\\TL", hd_tree);
    if (!make_dirs(tl)) {
        setup_log("cannot create %s (%s)", tl, error_text(GetLastError()).c_str());
        setup_log("ERROR: cannot create %s", tl);
        return 0;
    }
    for (const char* name : prog) {
        char src[FILE_PATH_CHARS], dst[FILE_PATH_CHARS];
        text_printf(src, sizeof src, "%s\\TL\\%s", cd_tree, name);
        text_printf(dst, sizeof dst, "%s\\%s", tl, name);
        char problem[200];
        if (!is_file(src)) {
            if (name != prog[0]) continue;
            text_printf(problem, sizeof problem, "%s", missing_program);
        } else if (!copy_file(src, dst, nullptr)) {
            // The line before names the file that failed and how; this one says what it means.
            text_printf(problem, sizeof problem, "TL\\%s could not be copied into the install folder (%s)", name,
                        error_text(GetLastError()).c_str());
        } else {
            continue;
        }
        // The log says why the installation stopped; a scripted installation
        // never waits for a click.
        setup_log("ERROR: %s", problem);
        if (!unattended()) MessageBoxA(nullptr, problem, "Tolvenar setup", MB_OK | MB_ICONERROR);
        return 0;
    }
    char dat[FILE_PATH_CHARS];
    text_printf(dat, sizeof dat, "%s\\TLP.DAT", tl);
    if (!write_file(dat, settings, sizeof settings)) {
        setup_log("ERROR: cannot write %s", dat);
        return 0;
    }
    setup_log("game files set up in %s", tl);
    return 1;
}

const char* const* game_hd_paths() { return hd_paths; }

const char* game_icon_exe() { return nullptr; }
const char* game_icon_lbm() { return nullptr; }
const char* game_icon_ico() { return "I_COMP\\TL.ICO"; }

// The game profile and the install pipeline's own checks, under Wine. The
// whole installation is exercised end to end by tests/e2e/test_silent.sh.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "game_profile.h"
#include "install.h"
#include "log.h"
#include "run_mode.h"
#include "testutil.h"

namespace {

cd_source* folder_disc(const std::string& dir, std::initializer_list<const char*> files) {
    for (const char* f : files) {
        std::string path = dir + "\\" + f;
        make_dirs(path.substr(0, path.rfind('\\')).c_str());
        spit(path, f);
    }
    return cd_open(dir.c_str());
}

TEST(GameProfile, RecognisesEachDiscByAllItsFiles) {
    std::string root = scratch("game_is_disc");
    EXPECT_EQ(game_is_disc(nullptr, 0), 0);

    cd_source* marker_only = folder_disc(root + "\\m", {"TLID.000", "TLID.001"});
    EXPECT_EQ(game_is_disc(marker_only, 0), 0) << "the marker alone is not disc 1";
    EXPECT_EQ(game_is_disc(marker_only, 1), 0);
    cd_close(marker_only);

    cd_source* both = folder_disc(root + "\\b", {"TLID.000", "TL\\TOLVENAR.EXE", "TLID.001",
                                                 "TL\\WITNESS\\AUDIO\\SAMPLES\\00W01010.MPS"});
    EXPECT_EQ(game_is_disc(both, 0), 1);
    EXPECT_EQ(game_is_disc(both, 1), 1);
    EXPECT_EQ(game_is_disc(both, 2), 0);
    cd_close(both);
    EXPECT_STREQ(game_icon_ico(), "I_COMP\\TL.ICO");
    EXPECT_EQ(game_icon_exe(), nullptr);
    EXPECT_EQ(game_icon_lbm(), nullptr);
}

TEST(GameProfile, LaysOutProgramsAndSettings) {
    log_capture log("game_files");
    std::string root = scratch("game_files");
    std::string cd = root + "\\cd", hd = root + "\\hd", tl = hd + "\\TL";
    make_dirs((cd + "\\TL").c_str());
    spit(cd + "\\TL\\TOLVENAR.EXE", "game program");
    SetFileAttributesA((cd + "\\TL\\TOLVENAR.EXE").c_str(), FILE_ATTRIBUTE_READONLY);
    make_dirs(tl.c_str());
    spit(tl + "\\TLP.DAT", "a much longer settings file from before");
    spit(tl + "\\TOLVENAR.EXE", "old");

    ASSERT_EQ(game_install_files(cd.c_str(), hd.c_str()), 1);
    auto exe = slurp(tl + "\\TOLVENAR.EXE");
    EXPECT_EQ(std::string(exe.begin(), exe.end()), "game program");
    EXPECT_FALSE(GetFileAttributesA((tl + "\\TOLVENAR.EXE").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(path_exists((tl + "\\DUZOZ.EXE").c_str())) << "the optional program is skipped";
    auto dat = slurp(tl + "\\TLP.DAT");
    EXPECT_EQ(std::string(dat.begin(), dat.end()), std::string("D:\\\r\n\r\n", 7));
    EXPECT_EQ(log.last(), "game files set up in " + tl);

    // A second run replaces what the first laid out.
    ASSERT_EQ(game_install_files(cd.c_str(), hd.c_str()), 1);

    // The TL folder cannot be made where a file stands.
    spit(root + "\\blocked", "");
    EXPECT_EQ(game_install_files(cd.c_str(), (root + "\\blocked").c_str()), 0);
    EXPECT_EQ(log.last(), "ERROR: cannot create " + root + "\\blocked\\TL");
}

// Runs the game files step without message boxes, as a silent installation does.
int install_files_silently(const std::string& cd, const std::string& hd) {
    set_unattended(true);
    int ok = game_install_files(cd.c_str(), hd.c_str());
    set_unattended(false);
    return ok;
}

TEST(GameProfile, NamesEverythingItWritesInTheHdTree) {
    std::vector<std::string> listed;
    for (const char* const* p = game_hd_paths(); *p; p++) listed.push_back(*p);
    EXPECT_EQ(listed, (std::vector<std::string>{"TL", "TL\\TOLVENAR.EXE", "TL\\DUZOZ.EXE", "TL\\TLP.DAT"}));

    // With both programs on the disc, what lands in the hd tree is exactly that.
    log_capture log("hd_paths");
    std::string root = scratch("hd_paths");
    std::string cd = root + "\\cd", hd = root + "\\hd";
    make_dirs((cd + "\\TL").c_str());
    spit(cd + "\\TL\\TOLVENAR.EXE", "game program");
    spit(cd + "\\TL\\DUZOZ.EXE", "second program");
    ASSERT_EQ(game_install_files(cd.c_str(), hd.c_str()), 1);
    std::vector<std::string> written{"TL"};
    for (const auto& f : tree_files(hd)) written.push_back(f.first);
    std::sort(written.begin(), written.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(written, listed);
}

TEST(GameProfile, AProgramThatCannotBeWrittenSaysSo) {
    log_capture log("game_full");
    std::string root = scratch("game_full");
    std::string cd = root + "\\cd";
    make_dirs((cd + "\\TL").c_str());
    // A program on the disc that is a folder is missing, and nothing is written.
    make_dirs((cd + "\\TL\\TOLVENAR.EXE").c_str());
    EXPECT_EQ(install_files_silently(cd, root + "\\hd"), 0);
    EXPECT_EQ(log.lines().back(), "ERROR: TL\\TOLVENAR.EXE is missing on disc 1.");
    EXPECT_EQ(log.lines().size(), 2u) << log.raw();
    RemoveDirectoryA((cd + "\\TL\\TOLVENAR.EXE").c_str());

    std::string small = build_path("smallfs");
    spit(small + "\\probe", "x");
    if (!path_exists((small + "\\probe").c_str())) GTEST_SKIP() << "no small file system mounted";
    DeleteFileA((small + "\\probe").c_str());
    // The 1.5 MiB file system fills while the first program is written.
    std::string hd = small + "\\hd";
    spit(cd + "\\TL\\TOLVENAR.EXE", std::string(3 << 20, 'p'));
    EXPECT_EQ(install_files_silently(cd, hd), 0);
    std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    const std::string full = error_text(ERROR_DISK_FULL);
    EXPECT_EQ(lines[lines.size() - 2], "cannot write " + hd + "\\TL\\TOLVENAR.EXE (" + full + ")");
    EXPECT_EQ(lines.back(), "ERROR: TL\\TOLVENAR.EXE could not be copied into the install folder (" + full + ")");
    EXPECT_FALSE(path_exists((hd + "\\TL\\TLP.DAT").c_str()));

    // The second program is not required, but one that is there and cannot
    // be written fails the step as well.
    spit(cd + "\\TL\\TOLVENAR.EXE", "small");
    spit(cd + "\\TL\\DUZOZ.EXE", std::string(3 << 20, 'd'));
    DeleteFileA((hd + "\\TL\\TOLVENAR.EXE").c_str());
    EXPECT_EQ(install_files_silently(cd, hd), 0);
    EXPECT_EQ(log.lines().back(), "ERROR: TL\\DUZOZ.EXE could not be copied into the install folder (" + full + ")");
    EXPECT_FALSE(path_exists((hd + "\\TL\\TLP.DAT").c_str()));
    for (const char* f : {"TL\\TOLVENAR.EXE", "TL\\DUZOZ.EXE"}) DeleteFileA((hd + "\\" + f).c_str());
    RemoveDirectoryA((hd + "\\TL").c_str());
    RemoveDirectoryA(hd.c_str());
}

TEST(Pipeline, RefusesWithoutTheGameProgramResource) {
    // This test program carries no GAMEEXE resource, unlike setup.exe.
    log_capture log("no_payload");
    std::string dir = scratch("no_payload") + "\\install";
    install_opts o{};
    snprintf(o.install_dir, sizeof o.install_dir, "%s", dir.c_str());
    EXPECT_EQ(do_install(&o, nullptr, nullptr), 0);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "setup started", "Install to " + dir,
                               "ERROR: this setup does not contain the game executable"}));
    EXPECT_FALSE(path_exists(dir.c_str())) << "nothing is created";
}

}  // namespace

// Shortcuts, the uninstall entry and do_uninstall, against the real registry
// and shell links of the test prefix's user (so this test runs alone).
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/shell_link.h"
#include "install.h"
#include "testutil.h"

namespace {

struct link_fields {
    bool loaded = false;
    std::string target, workdir, description, icon;
    int icon_index = -1;
};

// Reads a link back through the same interfaces the shell uses (COM must be up).
link_fields load_link(const std::string& path) {
    link_fields f;
    IShellLinkA* sl = nullptr;
    IPersistFile* pf = nullptr;
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&sl))) &&
        SUCCEEDED(sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf))) &&
        SUCCEEDED(pf->Load(wide, STGM_READ))) {
        char text[MAX_PATH];
        f.loaded = true;
        if (SUCCEEDED(sl->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) f.target = text;
        if (SUCCEEDED(sl->GetWorkingDirectory(text, MAX_PATH))) f.workdir = text;
        if (SUCCEEDED(sl->GetDescription(text, MAX_PATH))) f.description = text;
        if (SUCCEEDED(sl->GetIconLocation(text, MAX_PATH, &f.icon_index))) f.icon = text;
    }
    if (pf) pf->Release();
    if (sl) sl->Release();
    return f;
}

// The target that the link's ID list names, in UTF-8.
std::string id_list_target(const std::string& path) {
    std::string target;
    IShellLinkW* sl = nullptr;
    IPersistFile* pf = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&sl))) &&
        SUCCEEDED(sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf))) &&
        SUCCEEDED(pf->Load(widen(path.c_str()).c_str(), STGM_READ))) {
        wchar_t text[MAX_PATH];
        char utf8[4 * MAX_PATH];
        LPITEMIDLIST item = nullptr;
        if (SUCCEEDED(sl->GetIDList(&item)) && item && SHGetPathFromIDListW(item, text) &&
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr) > 0)
            target = utf8;
        CoTaskMemFree(item);
    }
    if (pf) pf->Release();
    if (sl) sl->Release();
    return target;
}

// Whether the saved link has a LinkInfo block.
lnk::status link_info_of(const std::string& path) {
    std::vector<uint8_t> bytes = slurp(path);
    lnk::block where;
    return lnk::find_link_info(bytes.data(), bytes.size(), where);
}

// A value as stored: read through the wide call, so that the byte count is
// the stored one (the ANSI call may add a terminator of its own).
struct reg_value {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
    std::wstring wide() const {
        return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
    }
    DWORD dword() const {
        DWORD v = 0;
        if (data.size() == 4) memcpy(&v, data.data(), 4);
        return v;
    }
};

reg_value query(const char* name) {
    reg_value v;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, uninstall_key, 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
    std::wstring wname(name, name + strlen(name));
    DWORD size = 0;
    if (RegQueryValueExW(key, wname.c_str(), nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        v.present = RegQueryValueExW(key, wname.c_str(), nullptr, &v.type, v.data.data(), &size) == ERROR_SUCCESS;
        v.data.resize(size);
    }
    RegCloseKey(key);
    return v;
}

bool key_exists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, uninstall_key, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A REG_SZ value as written: the text and its terminating zero (the texts
// here are plain ASCII, one wide character per byte written).
void expect_text(const char* name, const std::string& want) {
    reg_value v = query(name);
    ASSERT_TRUE(v.present) << name;
    EXPECT_EQ(v.type, DWORD(REG_SZ)) << name;
    std::wstring w(want.begin(), want.end());
    EXPECT_EQ(v.wide(), w + L'\0') << name;
}

void expect_dword(const char* name, DWORD want) {
    reg_value v = query(name);
    ASSERT_TRUE(v.present) << name;
    EXPECT_EQ(v.type, DWORD(REG_DWORD)) << name;
    EXPECT_EQ(v.data.size(), 4u) << name;
    EXPECT_EQ(v.dword(), want) << name;
}

install_opts opts_for(const std::string& dir) {
    install_opts o = {};
    snprintf(o.install_dir, sizeof o.install_dir, "%s", dir.c_str());
    o.desktop = o.start_menu = 1;
    return o;
}

std::string special_folder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

class with_com : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, uninstall_key);
        CoUninitialize();
    }
};

TEST(ShortcutPaths, TolvenarLnkInProgramsAndOnTheDesktop) {
    char start_menu[520], desktop[520];
    shortcut_paths(start_menu, desktop);
    EXPECT_EQ(std::string(start_menu), special_folder(CSIDL_PROGRAMS) + "\\Tolvenar.lnk");
    EXPECT_EQ(std::string(desktop), special_folder(CSIDL_DESKTOPDIRECTORY) + "\\Tolvenar.lnk");
    EXPECT_STRNE(start_menu, desktop);
}

TEST_F(with_com, MakeLinkWritesTargetFolderDescriptionAndIcon) {
    std::string dir = scratch("link");
    std::string target = dir + "\\tolvenar.exe", other = dir + "\\other.exe";
    spit(target, "MZ");
    spit(other, "MZ");
    std::string lnk = dir + "\\Tolvenar.lnk";

    make_link(lnk.c_str(), other.c_str(), (dir + "\\game").c_str());
    make_link(lnk.c_str(), target.c_str(), dir.c_str());  // replaces the first
    link_fields f = load_link(lnk);
    ASSERT_TRUE(f.loaded);
    EXPECT_EQ(f.target, target);
    EXPECT_EQ(f.workdir, dir);
    EXPECT_EQ(f.description, "Tolvenar");
    EXPECT_EQ(f.icon, target);
    EXPECT_EQ(f.icon_index, 0);
}

// A shortcut that cannot be saved costs only itself, and the log says why.
TEST_F(with_com, ALinkThatCannotBeSavedIsNamedWithItsReason) {
    std::string dir = scratch("link_fails");
    spit(dir + "\\tolvenar.exe", "MZ");
    log_capture log("link_fails");
    const std::string lnk = dir + "\\no such folder\\Tolvenar.lnk";
    make_link(lnk.c_str(), (dir + "\\tolvenar.exe").c_str(), dir.c_str());
    const std::string line = log.last(), start = "cannot create the shortcut " + lnk + " (error 0x800700";
    EXPECT_EQ(line.rfind(start, 0), 0u) << line;
    EXPECT_NE(line.find(": ", start.size()), std::string::npos) << "the system's words follow the code: " << line;
    EXPECT_FALSE(path_exists(lnk.c_str()));
}

TEST_F(with_com, ALinkToAnAsciiTargetKeepsItsLinkInfo) {
    std::string dir = scratch("link_ascii");
    std::string target = dir + "\\tolvenar.exe", lnk_path = dir + "\\Tolvenar.lnk";
    spit(target, "MZ");
    make_link(lnk_path.c_str(), target.c_str(), dir.c_str());
    EXPECT_EQ(link_info_of(lnk_path), lnk::status::found);
    EXPECT_EQ(id_list_target(lnk_path), target);
}

// The process runs in UTF-8, so these names reach the shell whole; the
// LinkInfo block would hold them in UTF-8 only.
TEST_F(with_com, ALinkToATargetOutsideAsciiHasNoLinkInfoAndNamesItsTarget) {
    for (const char* name : {"Spiele \xC3\xA4", "\xD0\xA2\xD0\xBE\xD0\xBB\xD1\x8C \xE3\x82\xB2 \xF0\x9F\x8E\xAE"}) {
        std::string dir = scratch("link_unicode") + "\\" + name;
        ASSERT_TRUE(make_dirs(dir.c_str())) << name;
        std::string target = dir + "\\tolvenar.exe", lnk_path = dir + "\\Tolvenar.lnk";
        spit(target, "MZ");
        make_link(lnk_path.c_str(), target.c_str(), dir.c_str());
        EXPECT_EQ(link_info_of(lnk_path), lnk::status::none) << name;
        EXPECT_EQ(id_list_target(lnk_path), target) << name;
        // A second link over it is made the same way.
        make_link(lnk_path.c_str(), target.c_str(), dir.c_str());
        EXPECT_EQ(link_info_of(lnk_path), lnk::status::none) << name;
    }
}

TEST_F(with_com, UninstallEntryHoldsEightValuesWithTheirSizes) {
    install_opts o = opts_for("C:\\Games\\Tolvenar");
    write_uninstall_entry(&o, 1290011);
    expect_text("DisplayName", "Tolvenar (Varnix)");
    expect_text("UninstallString", "\"C:\\Games\\Tolvenar\\uninstall.exe\" /uninstall");
    expect_text("DisplayIcon", "C:\\Games\\Tolvenar\\tolvenar.exe,0");
    expect_text("InstallLocation", "C:\\Games\\Tolvenar");
    expect_text("Publisher", "Varnix port (fan project)");
    expect_dword("EstimatedSize", 1290011);
    expect_dword("NoModify", 1);
    expect_dword("NoRepair", 1);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, uninstall_key, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD values = 0, subkeys = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    EXPECT_EQ(values, 8u);
    EXPECT_EQ(subkeys, 0u);
}

TEST_F(with_com, ALaterEntryReplacesTheEarlierOneWhole) {
    install_opts first = opts_for("C:\\Games\\Tolvenar");
    write_uninstall_entry(&first, 1000);
    // The longest folder the options hold: no composed value may be cut.
    std::string longdir = "D:\\" + std::string(516, 'x');
    install_opts second = opts_for(longdir);
    write_uninstall_entry(&second, 0xFFFFFFFFu);
    expect_text("UninstallString", "\"" + longdir + "\\uninstall.exe\" /uninstall");
    expect_text("DisplayIcon", longdir + "\\tolvenar.exe,0");
    expect_text("InstallLocation", longdir);
    expect_dword("EstimatedSize", 0xFFFFFFFFu);
}

// An install folder as an installation and a game session leave it.
void lay_out_install(const std::string& dir) {
    make_dirs((dir + "\\game\\cd\\TL").c_str());
    make_dirs((dir + "\\game\\hd\\TL\\SAVE").c_str());
    spit(dir + "\\game\\cd\\TL\\TOLVENAR.EXE", "from the disc");
    SetFileAttributesA((dir + "\\game\\cd\\TL\\TOLVENAR.EXE").c_str(), FILE_ATTRIBUTE_READONLY);
    spit(dir + "\\game\\hd\\TL\\TLP.DAT", "D:\\\r\n");
    spit(dir + "\\game\\hd\\TL\\SAVE\\GAME1.SAV", "saved");
    for (const char* name : {"tolvenar.exe", "uninstall.exe", "tolvenar.ini", "tolvenar_registry.txt",
                             "tolvenar.log", "tolvenar_setup.log"})
        spit(dir + "\\" + name, name);
}

// The entry and both shortcuts of an installation into dir.
void integrate(const std::string& dir) {
    install_opts o = opts_for(dir);
    write_uninstall_entry(&o, 1);
    char start_menu[520], desktop[520];
    shortcut_paths(start_menu, desktop);
    make_link(start_menu, (dir + "\\tolvenar.exe").c_str(), dir.c_str());
    make_link(desktop, (dir + "\\tolvenar.exe").c_str(), dir.c_str());
    ASSERT_TRUE(path_exists(start_menu));
    ASSERT_TRUE(path_exists(desktop));
    ASSERT_TRUE(key_exists());
}

void expect_integration_gone() {
    char start_menu[520], desktop[520];
    shortcut_paths(start_menu, desktop);
    EXPECT_FALSE(path_exists(start_menu));
    EXPECT_FALSE(path_exists(desktop));
    EXPECT_FALSE(key_exists());
}

TEST_F(with_com, UninstallRemovesTheInstallationAndItsFolder) {
    std::string dir = scratch("uninstall_all");
    lay_out_install(dir);
    integrate(dir);
    EXPECT_EQ(do_uninstall(dir.c_str()), 1);
    expect_integration_gone();
    EXPECT_FALSE(path_exists(dir.c_str()));
}

TEST_F(with_com, UninstallKeepsTheUsersOwnFilesAndThenTheFolder) {
    std::string dir = scratch("uninstall_keep");
    lay_out_install(dir);
    spit(dir + "\\my notes.txt", "mine");
    spit(dir + "\\tolvenar.exe.bak", "also mine: only the six names go");
    integrate(dir);
    EXPECT_EQ(do_uninstall(dir.c_str()), 1);
    expect_integration_gone();
    auto left = tree_files(dir);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].first, "my notes.txt");
    EXPECT_EQ(left[1].first, "tolvenar.exe.bak");
    EXPECT_FALSE(path_exists((dir + "\\game").c_str()));
}

TEST_F(with_com, UninstallDoesNotEnterALinkedFolderInTheGameTree) {
    // game\hd\SAVES is a host symlink to a folder outside the install folder.
    // Wine cannot unlink it (Windows unlinks a junction), so the link, and with
    // it the game folder and the install folder, stay here; what this checks is
    // that the target keeps its contents while the rest goes.
    std::string dir = fixture("uninstall\\inst");
    ASSERT_TRUE(GetFileAttributesA((dir + "\\game\\hd\\SAVES").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    lay_out_install(dir);
    integrate(dir);
    EXPECT_EQ(do_uninstall(dir.c_str()), 1);
    expect_integration_gone();
    EXPECT_EQ(slurp(fixture("uninstall\\saves\\canary.txt")).size(), 7u);
    EXPECT_FALSE(path_exists((dir + "\\game\\hd\\TL").c_str()));
    EXPECT_FALSE(path_exists((dir + "\\game\\cd").c_str()));
    EXPECT_FALSE(path_exists((dir + "\\tolvenar.exe").c_str()));
    EXPECT_FALSE(path_exists((dir + "\\uninstall.exe").c_str()));
}

TEST_F(with_com, UninstallDeletesNothingThroughTheTreesOwnFoldersOrNamedFiles) {
    // Host symlinks at game\cd and at tolvenar.ini, and at game itself: Wine
    // would delete a linked file's target, or an emptied folder's, rather
    // than the link. The links stay; the plain rest of the tree goes.
    const std::string mine = fixture("uninstall\\mine");
    const auto before = tree_files(mine);
    ASSERT_EQ(before.size(), 2u);
    std::string tops = fixture("uninstall\\tops");
    integrate(tops);
    EXPECT_EQ(do_uninstall(tops.c_str()), 1);
    expect_integration_gone();
    EXPECT_FALSE(path_exists((tops + "\\game\\hd").c_str()));
    EXPECT_EQ(tree_files(mine), before);

    std::string gamelink = fixture("uninstall\\gamelink");
    integrate(gamelink);
    EXPECT_EQ(do_uninstall(gamelink.c_str()), 1);
    expect_integration_gone();
    EXPECT_EQ(tree_files(mine), before);
    EXPECT_TRUE(is_dir(mine.c_str()));
}

TEST_F(with_com, UninstallLeavesAnInstallFolderThatIsALink) {
    // The folder leads to another place: its entry and shortcuts go, and
    // everything behind it stays.
    const std::string elsewhere = fixture("uninstall\\elsewhere");
    const auto before = tree_files(elsewhere);
    ASSERT_EQ(before.size(), 4u);
    std::string linked = fixture("uninstall\\linked");
    integrate(linked);
    EXPECT_EQ(do_uninstall(linked.c_str()), 0);
    expect_integration_gone();
    EXPECT_EQ(tree_files(elsewhere), before);
}

}  // namespace

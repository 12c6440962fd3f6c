// uninstall_probe: what e2e_test_uninstall needs to see from inside Wine.
//   box CAPTION yes|no|ok|none [SECONDS]
//                                    wait for a message box, print its text and
//                                    button ids, press the button (none: leave
//                                    it open); 1 if none came
//   nobox CAPTION SECONDS            0 if no such window appears in that time
//   wait NAME SECONDS                wait for the processes of that program file
//                                    name to end, printing "exit N" for each seen
//                                    (or "none"); 1 if one still runs at the end
//   count NAME                       how many processes of that name run
//   links                            the Start-menu and desktop Tolvenar.lnk paths
//   link PATH                        target, working folder, description, icon
//   value NAME                       one text value of the uninstall entry
// Paths and values that may hold any character are read through the UTF-16
// calls and printed in UTF-8, and arguments are taken in UTF-8.
//   entry                            the uninstall entry's values, with types and sizes
//   pending                          the restart's pending file operations
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const char uninstall_root[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A message box is complete once it is shown: its text and buttons are set
// while it is still hidden.
HWND find_box(const char* caption, int tenths) {
    for (int i = 0; i < tenths; i++) {
        HWND box = FindWindowA("#32770", caption);
        if (box && IsWindowVisible(box)) return box;
        Sleep(100);
    }
    return nullptr;
}

BOOL CALLBACK print_child(HWND child, LPARAM) {
    char cls[32], text[1024];
    GetClassNameA(child, cls, sizeof cls);
    if (!lstrcmpiA(cls, "Static") && SendMessageA(child, WM_GETTEXT, sizeof text, (LPARAM)text) > 0)
        printf("text: %s\n", text);
    if (!lstrcmpiA(cls, "Button")) printf("button: %d\n", GetDlgCtrlID(child));
    return TRUE;
}

int box(const char* caption, const std::string& answer, int seconds) {
    HWND w = find_box(caption, seconds * 10);
    if (!w) return 1;
    EnumChildWindows(w, print_child, 0);
    if (answer == "none") return 0;  // only look
    int id = answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
    HWND button = GetDlgItem(w, id);
    if (!button) return 1;
    PostMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
    return 0;
}

std::vector<DWORD> pids_of(const char* name) {
    std::vector<DWORD> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return out;
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (!lstrcmpiA(pe.szExeFile, name)) out.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return out;
}

// Waits for every process of that name to end and prints each one's exit
// code once. A process that has ended may still be listed for a moment, so
// a process already reported is not waited for again.
int wait_for(const char* name, int seconds) {
    std::set<DWORD> reported;
    DWORD start = GetTickCount();
    for (;;) {
        bool pending = false;
        for (DWORD pid : pids_of(name)) {
            if (reported.count(pid)) continue;
            HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
            if (!h) {
                pending = true;  // listed but not yet (or no longer) open to us: look again
                continue;
            }
            DWORD elapsed = GetTickCount() - start, limit = DWORD(seconds) * 1000;
            DWORD waited = WaitForSingleObject(h, elapsed < limit ? limit - elapsed : 0);
            DWORD code = 0;
            if (waited == WAIT_OBJECT_0 && GetExitCodeProcess(h, &code)) {
                printf("exit %lu\n", code);
                reported.insert(pid);
            }
            CloseHandle(h);
            if (waited != WAIT_OBJECT_0) return 1;
        }
        if (!pending) break;
        if (GetTickCount() - start >= DWORD(seconds) * 1000) return 1;
        Sleep(20);
    }
    if (reported.empty()) printf("none\n");
    return 0;
}

// Texts that may hold any character travel as UTF-8: the probe reads them
// through the UTF-16 calls and prints them, and takes its arguments so.
std::string utf8(const wchar_t* w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    s.resize(strlen(s.c_str()));
    return s;
}

std::wstring wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

int links() {
    const int folders[] = {CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY};
    for (int csidl : folders) {
        wchar_t path[MAX_PATH];
        if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path))) return 1;
        printf("%s\\Tolvenar.lnk\n", utf8(path).c_str());
    }
    return 0;
}

int link(const std::string& path) {
    CoInitialize(nullptr);
    int rc = 1;
    IShellLinkW* sl = nullptr;
    IPersistFile* pf = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   (void**)&sl)) &&
        SUCCEEDED(sl->QueryInterface(IID_IPersistFile, (void**)&pf)) &&
        SUCCEEDED(pf->Load(wide(path).c_str(), STGM_READ))) {
        wchar_t text[MAX_PATH];
        int index = -1;
        // The target as the shell resolves it, from the link's item list: the
        // path text beside it is stored in the writer's ANSI code page.
        PIDLIST_ABSOLUTE item = nullptr;
        if (SUCCEEDED(sl->GetIDList(&item)) && item && SHGetPathFromIDListW(item, text)) {
        } else {
            sl->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        }
        CoTaskMemFree(item);
        printf("target: %s\n", utf8(text).c_str());
        sl->GetWorkingDirectory(text, MAX_PATH);
        printf("workdir: %s\n", utf8(text).c_str());
        sl->GetDescription(text, MAX_PATH);
        printf("description: %s\n", utf8(text).c_str());
        sl->GetIconLocation(text, MAX_PATH, &index);
        printf("icon: %s,%d\n", utf8(text).c_str(), index);
        rc = 0;
    }
    if (pf) pf->Release();
    if (sl) sl->Release();
    CoUninitialize();
    return rc;
}

// One text value of the entry, read through the UTF-16 call.
int value(const std::string& name) {
    HKEY key;
    std::wstring path = wide(std::string(uninstall_root) + "\\Tolvenar_Varnix");
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
    wchar_t data[2048] = {};
    DWORD type = 0, size = sizeof data - sizeof(wchar_t);
    LONG r = RegQueryValueExW(key, wide(name).c_str(), nullptr, &type, (BYTE*)data, &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) return 1;
    printf("%s\n", utf8(data).c_str());
    return 0;
}

int entry() {
    HKEY root;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, uninstall_root, 0, KEY_READ, &root) != ERROR_SUCCESS) return 1;
    int entries = 0;
    char name[256];
    for (DWORD i = 0;; i++) {
        DWORD len = sizeof name;
        if (RegEnumKeyExA(root, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (!_strnicmp(name, "Tolvenar", 8)) entries++;
    }
    printf("entries: %d\n", entries);
    HKEY key;
    if (RegOpenKeyExA(root, "Tolvenar_Varnix", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        RegCloseKey(root);
        return 0;
    }
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    printf("values: %lu\n", values);
    const char* names[] = {"DisplayName", "UninstallString", "DisplayIcon", "InstallLocation",
                           "Publisher",   "EstimatedSize",   "NoModify",    "NoRepair"};
    for (const char* n : names) {
        BYTE data[2048] = {};
        DWORD type = 0, size = sizeof data - 1;
        if (RegQueryValueExA(key, n, nullptr, &type, data, &size) != ERROR_SUCCESS) {
            printf("%s missing\n", n);
        } else if (type == REG_DWORD && size == 4) {
            printf("%s %lu %lu %lu\n", n, type, size, *(DWORD*)data);
        } else {
            printf("%s %lu %lu %s\n", n, type, size, (char*)data);
        }
    }
    RegCloseKey(key);
    RegCloseKey(root);
    return 0;
}

int pending() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    std::vector<char> data(65536);
    DWORD type = 0, size = (DWORD)data.size() - 2;
    LONG r = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, (BYTE*)data.data(), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return 0;
    // Pairs of source and target, as "SOURCE -> TARGET"; an empty target means deletion.
    size_t i = 0;
    auto next = [&]() {
        std::string s = i < size ? std::string(data.data() + i) : std::string();
        i += s.size() + 1;
        return s;
    };
    for (std::string src = next(); !src.empty(); src = next()) {
        std::string dst = next();
        printf("%s -> %s\n", src.c_str(), dst.empty() ? "<delete>" : dst.c_str());
    }
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!wargv) return 2;
    std::vector<std::string> args;
    for (int i = 0; i < argc; i++) args.push_back(utf8(wargv[i]));
    LocalFree(wargv);
    if (argc < 2) return 2;
    const std::string& cmd = args[1];
    auto arg = [&](int i) { return i < argc ? args[i].c_str() : ""; };
    int seconds = argc > 4 ? atoi(arg(4)) : 20;
    int rc = 2;
    if (cmd == "box" && argc > 3) rc = box(arg(2), arg(3), seconds);
    else if (cmd == "nobox" && argc > 3) rc = find_box(arg(2), atoi(arg(3)) * 10) ? 1 : 0;
    else if (cmd == "wait" && argc > 3) rc = wait_for(arg(2), atoi(arg(3)));
    else if (cmd == "count" && argc > 2) rc = (printf("%d\n", (int)pids_of(arg(2)).size()), 0);
    else if (cmd == "links") rc = links();
    else if (cmd == "link" && argc > 2) rc = link(args[2]);
    else if (cmd == "value" && argc > 2) rc = value(args[2]);
    else if (cmd == "entry") rc = entry();
    else if (cmd == "pending") rc = pending();
    fflush(stdout);
    return rc;
}

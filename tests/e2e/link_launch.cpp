// link_launch LINK NAME: opens a shell link as a double click does, through
// ShellExecuteExW, from a program in the system's ordinary ANSI code page
// (it carries no UTF-8 manifest, unlike the setup and its tests), and waits
// for a program of the file name NAME to start. Prints "launched: PATH" with
// that program's full path, in UTF-8, then ends it (exit 0); "failed: ..."
// when none started within 30 seconds (exit 1).
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

namespace {

// The shell starts a link's target through the link's own context menu,
// which keeps the new process's handle to itself: the target is found as
// this process's child of that file name (Wine starts its desktop program
// as a child too).
HANDLE wait_for_child(const wchar_t* name, DWORD seconds) {
    const DWORD self = GetCurrentProcessId();
    for (DWORD tenths = 0; tenths < seconds * 10; tenths++) {
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        DWORD child = 0;
        if (snap != INVALID_HANDLE_VALUE) {
            PROCESSENTRY32W entry = {};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32FirstW(snap, &entry); more && !child; more = Process32NextW(snap, &entry))
                if (entry.th32ParentProcessID == self && lstrcmpiW(entry.szExeFile, name) == 0)
                    child = entry.th32ProcessID;
            CloseHandle(snap);
        }
        if (child)
            return OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                               child);
        Sleep(100);
    }
    return nullptr;
}

std::string utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(size_t(n - 1));
    return out;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3) {
        fprintf(stderr, "usage: link_launch LINK NAME\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpFile = argv[1];
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) {
        printf("failed: error %lu\n", GetLastError());
        return 1;
    }
    HANDLE process = info.hProcess ? info.hProcess : wait_for_child(argv[2], 30);
    if (!process) {
        printf("failed: no program started\n");
        return 1;
    }
    wchar_t image[32768];
    DWORD size = sizeof image / sizeof image[0];
    const bool named = QueryFullProcessImageNameW(process, 0, image, &size);
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    printf("launched: %s\n", named ? utf8(image).c_str() : "?");
    return 0;
}

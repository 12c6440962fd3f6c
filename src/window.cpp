// The setup window: fields for both discs and the install folder, the two
// shortcut choices, and one installation at a time on a worker thread. The
// worker never touches a control; it reports only through three posted
// messages (log line, progress, end), which arrive in the order posted.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "install.h"
#include "setup.h"
#include "util.h"

namespace {

enum {
    ID_BROWSE = 101,
    ID_INSTALL = 102,
    ID_CLOSE = 103,
    ID_IMAGE = 200,   // + disc index
    ID_FOLDER = 300,  // + disc index
};

const char* const CLASS_NAME = "TolvenarSetup";
const char* const BOX_CAPTION = "Tolvenar setup";
const DWORD STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // fixed size, no maximise
const int CLIENT_W = 630, CLIENT_H = 516;

const char* const INTRO =
    "Install Tolvenar as a native Windows game.\n"
    "You need your copy of Tolvenar: both CDs, as discs, ISO / BIN+CUE images or copied "
    "folders. Everything is copied to the hard disk: no CD is needed afterwards.";
const char* const READY = "Ready. About 2.6 GB of free space is needed.";

// UI state, owned by the main thread. The worker reads only opts and hwnd,
// both set before it starts.
HWND hwnd;
int busy;     // from Install until the end message arrives
int done_ok;  // an installation succeeded: the Install button plays
HFONT font;
install_opts* opts;
HWND e_cd[2], e_dir, c_start, c_desk, prog, st, lst, b_install, b_close;

// Last per-mille value posted; touched only on the thread that reports progress.
int last = -1;

HWND mk(const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    DWORD ex = strcmp(cls, "EDIT") == 0 ? WS_EX_CLIENTEDGE : 0;
    HWND c = CreateWindowExA(ex, cls, text, style | WS_CHILD | WS_VISIBLE, x, y, w, h, hwnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return c;
}

void make_controls() {
    mk("STATIC", INTRO, 0, 16, 14, 600, 36, 0);
    for (int d = 0; d < 2; d++) {
        int y = 62 + 32 * d;
        char label[16];
        text_printf(label, sizeof label, "Disc %d:", d + 1);
        mk("STATIC", label, 0, 16, y + 4, 90, 20, 0);
        e_cd[d] = mk("EDIT", opts->cd[d], ES_AUTOHSCROLL, 110, y, 360, 24, 0);
        mk("BUTTON", "Image...", 0, 478, y, 66, 24, ID_IMAGE + d);
        mk("BUTTON", "Folder...", 0, 548, y, 66, 24, ID_FOLDER + d);
    }
    mk("STATIC", "Install to:", 0, 16, 130, 90, 20, 0);
    e_dir = mk("EDIT", opts->install_dir, ES_AUTOHSCROLL, 110, 126, 360, 24, 0);
    mk("BUTTON", "Browse...", 0, 478, 126, 136, 24, ID_BROWSE);
    c_start = mk("BUTTON", "Start menu shortcut", BS_AUTOCHECKBOX, 16, 166, 200, 22, 0);
    c_desk = mk("BUTTON", "Desktop shortcut", BS_AUTOCHECKBOX, 230, 166, 200, 22, 0);
    prog = mk(PROGRESS_CLASSA, "", 0, 16, 200, 598, 18, 0);
    st = mk("STATIC", READY, 0, 16, 224, 598, 20, 0);
    lst = mk("LISTBOX", "", WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 16, 248, 598, 110, 0);
    b_install = mk("BUTTON", "Install", BS_DEFPUSHBUTTON, 418, 368, 96, 30, ID_INSTALL);
    b_close = mk("BUTTON", "Cancel", 0, 518, 368, 96, 30, ID_CLOSE);

    // Both boxes start ticked whatever the switches said: in the window the
    // boxes decide.
    SendMessageA(c_start, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(c_desk, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(prog, PBM_SETRANGE32, 0, 1000);
}

DWORD WINAPI worker(void*) {
    int ok = do_install(opts, on_progress, nullptr);
    PostMessageA(hwnd, WM_INSTALL_ENDED, ok, 0);
    return 0;
}

void browse_folder(HWND edit, const char* title) {
    char display[MAX_PATH];
    BROWSEINFOA bi = {};
    bi.hwndOwner = hwnd;
    bi.pszDisplayName = display;
    bi.lpszTitle = title;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST item = SHBrowseForFolderA(&bi);
    if (!item) return;
    char path[MAX_PATH];
    if (SHGetPathFromIDListA(item, path)) SetWindowTextA(edit, path);
    CoTaskMemFree(item);
}

void choose_image(int disc) {
    char title[64];
    text_printf(title, sizeof title, "Tolvenar disc %d", disc + 1);
    char name[PATH_CHARS] = {};
    GetWindowTextA(e_cd[disc], name, sizeof name);
    // A folder (such as a drive root) is no file name to start from; an
    // image chosen before is.
    if (is_dir(name)) name[0] = 0;

    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd;
    ofn.lpstrFilter = "CD images (*.iso;*.cue;*.bin)\0*.iso;*.cue;*.bin\0All files\0*.*\0";
    ofn.lpstrFile = name;
    ofn.nMaxFile = sizeof name;
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameA(&ofn)) SetWindowTextA(e_cd[disc], name);
}

void start_install() {
    GetWindowTextA(e_cd[0], opts->cd[0], sizeof opts->cd[0]);
    GetWindowTextA(e_cd[1], opts->cd[1], sizeof opts->cd[1]);
    GetWindowTextA(e_dir, opts->install_dir, sizeof opts->install_dir);
    opts->start_menu = SendMessageA(c_start, BM_GETCHECK, 0, 0) == BST_CHECKED;
    opts->desktop = SendMessageA(c_desk, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (!opts->cd[0][0] || !opts->cd[1][0] || !opts->install_dir[0]) {
        MessageBoxA(hwnd, "Please choose both discs and the install folder.", BOX_CAPTION,
                    MB_OK | MB_ICONWARNING);
        return;
    }

    busy = 1;
    EnableWindow(b_install, FALSE);
    SetWindowTextA(b_close, "Cancel");
    SetWindowTextA(st, "Installing...");
    HANDLE thread = CreateThread(nullptr, 0, worker, nullptr, 0, nullptr);
    if (!thread) {
        // Ends like a failed installation, so that the window does not stay
        // busy with nothing running.
        setup_log("ERROR: %s", "cannot start the installation");
        PostMessageA(hwnd, WM_INSTALL_ENDED, 0, 0);
        return;
    }
    CloseHandle(thread);  // the window never waits for it
}

void play() {
    char exe[FILE_PATH_CHARS];
    text_printf(exe, sizeof exe, "%s\\tolvenar.exe", opts->install_dir);
    ShellExecuteA(nullptr, "open", exe, nullptr, opts->install_dir, SW_SHOWNORMAL);
    DestroyWindow(hwnd);
}

void close_request() {
    if (busy) {
        if (MessageBoxA(hwnd, "Stop the installation?", BOX_CAPTION,
                        MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        // The installation may have ended while the question was open.
        if (busy) {
            // Ends at once, without running library shutdown code: the worker
            // may be stopped inside the C library or the heap holding its lock.
            // Every logged line is already on disk.
            TerminateProcess(GetCurrentProcess(), 1);
            ExitProcess(1);
        }
    }
    DestroyWindow(hwnd);
}

void on_command(int id) {
    switch (id) {
    case ID_BROWSE:
        browse_folder(e_dir, "Install folder");
        break;
    case ID_INSTALL:
        if (done_ok)
            play();
        else
            start_install();
        break;
    case ID_CLOSE:
        close_request();
        break;
    case ID_IMAGE:
    case ID_IMAGE + 1:
        choose_image(id - ID_IMAGE);
        break;
    case ID_FOLDER:
    case ID_FOLDER + 1: {
        char title[64];
        text_printf(title, sizeof title, "Tolvenar disc %d (drive or folder)", id - ID_FOLDER + 1);
        browse_folder(e_cd[id - ID_FOLDER], title);
        break;
    }
    }
}

// The line is ours to free. A line whose copy could not be made arrives as
// null and shows nothing.
void on_log_line(char* text) {
    if (!text) return;
    LRESULT index = SendMessageA(lst, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0) SendMessageA(lst, LB_SETCURSEL, index, 0);
    SetWindowTextA(st, text);
    free(text);
}

void on_ended(int ok) {
    busy = 0;
    if (ok) {
        done_ok = 1;
        SendMessageA(prog, PBM_SETPOS, 1000, 0);
        SetWindowTextA(st, "Tolvenar is installed.");
        SetWindowTextA(b_install, "Play");
    } else {
        SetWindowTextA(st, "The installation did not finish - see the messages above.");
    }
    EnableWindow(b_install, TRUE);
    SetWindowTextA(b_close, "Close");
}

LRESULT CALLBACK wndproc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        close_request();
        return 0;
    case WM_COMMAND:
        on_command(LOWORD(wp));
        return 0;
    case WM_LOG_LINE:
        on_log_line(reinterpret_cast<char*>(lp));
        return 0;
    case WM_INSTALL_PROGRESS:
        SendMessageA(prog, PBM_SETPOS, wp, 0);
        return 0;
    case WM_INSTALL_ENDED:
        on_ended(wp != 0);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

HFONT message_font() {
    NONCLIENTMETRICSA ncm = {};
    static_assert(sizeof ncm == 344, "the metrics with the padded border width");
    ncm.cbSize = sizeof ncm;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0)) return nullptr;
    return CreateFontIndirectA(&ncm.lfMessageFont);
}

}  // namespace

int run_window(HINSTANCE instance, int show, install_opts* o) {
    opts = o;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    CoInitialize(nullptr);  // for the folder picker; the process ends instead of uninitialising
    font = message_font();
    HFONT owned = font;
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    WNDCLASSA wc = {};
    wc.lpfnWndProc = wndproc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = CLASS_NAME;
    RegisterClassA(&wc);

    RECT r = {0, 0, CLIENT_W, CLIENT_H};
    AdjustWindowRect(&r, STYLE, FALSE);
    hwnd = CreateWindowExA(0, CLASS_NAME, "Tolvenar - Varnix Setup", STYLE, CW_USEDEFAULT,
                           CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                           instance, nullptr);
    if (!hwnd) {
        setup_log("ERROR: %s", "cannot create the setup window");
        if (owned) DeleteObject(owned);
        return 1;
    }
    log_set_window(hwnd);
    make_controls();
    ShowWindow(hwnd, show);

    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(hwnd, &m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    if (owned) DeleteObject(owned);
    return 0;
}

void on_progress(uint64_t done, uint64_t total, void*) {
    int value = 0;
    if (total) {
        // Wide arithmetic: done * 1000 must not wrap for very large totals.
        value = done >= total
                    ? 1000
                    : static_cast<int>(static_cast<unsigned __int128>(done) * 1000 / total);
    }
    if (value == last) return;
    HWND target = log_window();  // null before the window exists and in silent mode
    if (!target) return;
    last = value;
    PostMessageA(target, WM_INSTALL_PROGRESS, value, 0);
}

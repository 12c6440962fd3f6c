// The setup window: fields for both discs and the install folder, the two
// shortcut choices, and one installation at a time on a worker thread. The
// worker never touches a control; it reports only through three posted
// messages (log line, progress, end), which arrive in the order posted, and
// asks through a fourth whether to read a damaged disc again, waiting for
// the answer.
// Everything the window owns lives in one setup_window attached to it from
// WM_NCCREATE to WM_NCDESTROY; the worker gets its own copy of the choices
// and the window's handle through its start parameter.
// The layout is given for 96 DPI and scaled to the window's own DPI, and the
// keyboard works as in any dialog: IsDialogMessage in the loop moves the
// focus with Tab, Enter presses the default button and Escape closes.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "handles.h"
#include "install.h"
#include "log.h"
#include "run_mode.h"
#include "util.h"
#include "window.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

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
// The layout at 96 DPI. The introduction is laid out 36 high and grows to
// fit its text in the window's font; whatever lies below it moves down by as
// much, into the empty band below the buttons, so the client area keeps its
// size.
const int CLIENT_W = 630, CLIENT_H = 516;
const int INTRO_X = 16, INTRO_Y = 14, INTRO_W = 600, INTRO_H = 36;
const int MAX_INTRO_GROWTH = 108;  // the band below the buttons, less a margin

const char* const INTRO =
    "Install Tolvenar as a native Windows game.\n"
    "You need your copy of Tolvenar: both CDs, as discs, ISO / BIN+CUE images or copied "
    "folders. Everything is copied to the hard disk: no CD is needed afterwards.";
const char* const READY = "Ready. About 2.6 GB of free space is needed.";

enum class phase { idle, installing, installed };

// Every control with its place at 96 DPI, in creation order, which is also
// the order in which Tab visits them.
struct placed {
    HWND h;
    int x, y, w, h96;
};

// comctl32 and comdlg32 serve only the window. They are loaded when it
// starts rather than imported, so that a silent installation or a removal
// never loads them, and so that no import table has to be patched at run
// time (newer linkers make it read-only).
using init_controls_fn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
using open_file_fn = BOOL(WINAPI*)(OPENFILENAMEA*);

// What run_window hands the window as it is created (lpCreateParams).
struct window_start {
    install_opts* opts;
    open_file_fn open_file_dialog;  // null: the Image buttons do nothing
};

// The worker's question about a disc that cannot be read (WM_DISC_UNREADABLE).
struct disc_unreadable {
    char text[FILE_PATH_CHARS];
    int answer;
    HANDLE answered;
};

// What an installation's worker thread is started with: its own copy of the
// choices and what it reports to. The worker frees it.
struct install_job {
    install_opts opts;
    report_target reports;
};

// The setup log's sink (user: the window): a heap copy of each line goes to
// the window, which frees it. A line whose copy cannot be made is already in
// the file; the window misses it.
void post_line(void* user, const char* line) {
    HWND to = static_cast<HWND>(user);
    if (!to) return;
    if (char* copy = _strdup(line)) {
        if (!PostMessageA(to, WM_LOG_LINE, 0, reinterpret_cast<LPARAM>(copy))) free(copy);
    }
}

// The DPI the system's metrics are given for.
UINT system_dpi() {
    HDC screen = GetDC(nullptr);
    int d = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return d > 0 ? UINT(d) : 96;
}

// The window's own DPI (Windows 10 1607 and later give one per monitor),
// else the system's.
UINT dpi_of(HWND w) {
    using get_dpi_fn = UINT(WINAPI*)(HWND);
    const auto get_dpi = reinterpret_cast<get_dpi_fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    UINT d = get_dpi ? get_dpi(w) : 0;
    return d ? d : system_dpi();
}

// On the worker thread (user: its report_target): asks the window and waits
// for the answer.
bool ask_disc_again(void* user, int disc, const char* file) {
    disc_unreadable q = {};
    text_printf(q.text, sizeof q.text,
                "Disc %d could not be read at %s. Clean the disc, put it back and press Retry, or "
                "press Cancel to stop.",
                disc, file);
    q.answer = IDCANCEL;
    q.answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!q.answered) return false;
    HWND window = static_cast<report_target*>(user)->window;
    if (PostMessageA(window, WM_DISC_UNREADABLE, 0, reinterpret_cast<LPARAM>(&q)))
        WaitForSingleObject(q.answered, INFINITE);
    CloseHandle(q.answered);
    return q.answer == IDRETRY;
}

DWORD WINAPI install_worker(void* start) {
    const std::unique_ptr<install_job> job(static_cast<install_job*>(start));
    int ok = do_install(&job->opts, on_progress, &job->reports, ask_disc_again);
    PostMessageA(job->reports.window, WM_INSTALL_ENDED, ok, 0);
    return 0;
}

// The folder picker starts at the folder its field names.
int CALLBACK start_at_field(HWND picker, UINT msg, LPARAM, LPARAM folder) {
    if (msg == BFFM_INITIALIZED) SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, folder);
    return 0;
}

LRESULT CALLBACK keep_window_enabled(int code, WPARAM wp, LPARAM lp);

// The window's state, owned by the thread that runs the window; one handler
// per message.
struct setup_window {
    HWND hwnd;
    install_opts* opts;  // the choices shown; an installation copies them
    open_file_fn open_file_dialog;
    phase state = phase::idle;
    UINT dpi = 96;  // the window's DPI, which the layout is scaled to
    HFONT font = nullptr;
    bool font_owned = false;  // font was made here (not a stock font) and is deleted with it
    HWND intro = nullptr, e_cd[2] = {}, e_dir = nullptr, c_start = nullptr, c_desk = nullptr,
         prog = nullptr, st = nullptr, lst = nullptr, b_install = nullptr, b_close = nullptr;
    std::vector<placed> controls;
    int list_extent = 0;        // the list's horizontal extent: the width of its longest line
    HWND last_focus = nullptr;  // the control that had the focus when the window was deactivated
    HHOOK box_hook = nullptr;   // set while the damaged-disc box is coming up

    setup_window(HWND w, const window_start& start)
        : hwnd(w), opts(start.opts), open_file_dialog(start.open_file_dialog) {}
    setup_window(const setup_window&) = delete;
    setup_window& operator=(const setup_window&) = delete;
    ~setup_window() {
        if (font_owned) DeleteObject(font);
    }

    // The state attached to a window of this class (null before WM_NCCREATE).
    static setup_window* of(HWND w) {
        return reinterpret_cast<setup_window*>(GetWindowLongPtrA(w, GWLP_USERDATA));
    }
    static void attach(HWND w, const CREATESTRUCTA* cs) {
        auto state = std::make_unique<setup_window>(w, *static_cast<const window_start*>(cs->lpCreateParams));
        SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.release()));
    }
    static void detach(HWND w) {
        const std::unique_ptr<setup_window> state(of(w));
        SetWindowLongPtrA(w, GWLP_USERDATA, 0);
    }

    int scale(int v) const { return MulDiv(v, int(dpi), 96); }

    // Sizes the window so that its client area is the layout's at its DPI,
    // measuring the frame it really has (on Windows it scales with the
    // monitor; Wine keeps the system's).
    void fit_client() {
        RECT outer, client;
        GetWindowRect(hwnd, &outer);
        GetClientRect(hwnd, &client);
        const int frame_w = (outer.right - outer.left) - client.right;
        const int frame_h = (outer.bottom - outer.top) - client.bottom;
        SetWindowPos(hwnd, nullptr, 0, 0, scale(CLIENT_W) + frame_w, scale(CLIENT_H) + frame_h,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Makes the message font for the window's DPI the window's font; the font
    // it replaces, which the controls may still hold, is returned to be
    // deleted once they have the new one (null when there is nothing to
    // delete). The system's metrics are those of the system DPI; a window on
    // a monitor of another scale gets them scaled.
    HFONT make_font() {
        HFONT old = font_owned ? font : nullptr;
        font_owned = false;
        font = nullptr;
        NONCLIENTMETRICSA ncm = {};
        static_assert(sizeof ncm == 344, "the metrics with the padded border width");
        ncm.cbSize = sizeof ncm;
        if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0)) {
            const UINT system = system_dpi();
            if (dpi != system)
                ncm.lfMessageFont.lfHeight = MulDiv(ncm.lfMessageFont.lfHeight, int(dpi), int(system));
            font = CreateFontIndirectA(&ncm.lfMessageFont);
            font_owned = font != nullptr;
        }
        if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        return old;
    }

    // Creates one child control at its place (at 96 DPI, scaled later by layout).
    HWND mk(const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id) {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        DWORD ex = strcmp(cls, "EDIT") == 0 ? WS_EX_CLIENTEDGE : 0;
        HWND c = CreateWindowExA(ex, cls, text, style | WS_CHILD | WS_VISIBLE, scale(x), scale(y),
                                 scale(w), scale(h), hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        controls.push_back({c, x, y, w, h});
        return c;
    }

    // The height the text takes in the window's font, broken into lines of width.
    int text_height(const char* text, int width) {
        HDC dc = GetDC(hwnd);
        if (!dc) return 0;
        HGDIOBJ old = SelectObject(dc, font);
        RECT r = {0, 0, width, 0};
        DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        SelectObject(dc, old);
        ReleaseDC(hwnd, dc);
        return r.bottom - r.top;
    }

    // Places every control for the window's DPI and font.
    void layout() {
        const int planned = scale(INTRO_H);
        const int growth = std::min(std::max(text_height(INTRO, scale(INTRO_W)) - planned, 0),
                                    scale(MAX_INTRO_GROWTH));
        for (const placed& c : controls) {
            const bool is_intro = c.h == intro;
            MoveWindow(c.h, scale(c.x), scale(c.y) + (is_intro ? 0 : growth), scale(c.w),
                       is_intro ? planned + growth : scale(c.h96), TRUE);
        }
    }

    int line_width(const char* text) {
        HDC dc = GetDC(lst);
        if (!dc) return 0;
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size = {};
        GetTextExtentPoint32A(dc, text, int(strlen(text)), &size);
        SelectObject(dc, old);
        ReleaseDC(lst, dc);
        return size.cx;
    }

    // Lets the list scroll sideways as far as its longest line.
    void widen_list(const char* line) {
        const int needed = line_width(line) + scale(8);  // the list's own text margins
        if (needed <= list_extent) return;
        list_extent = needed;
        SendMessageA(lst, LB_SETHORIZONTALEXTENT, WPARAM(list_extent), 0);
    }

    void make_controls() {
        intro = mk("STATIC", INTRO, 0, INTRO_X, INTRO_Y, INTRO_W, INTRO_H, 0);
        for (int d = 0; d < 2; d++) {
            int y = 62 + 32 * d;
            char label[16];
            text_printf(label, sizeof label, "Disc %d:", d + 1);
            mk("STATIC", label, 0, 16, y + 4, 90, 20, 0);
            e_cd[d] = mk("EDIT", opts->cd[d], ES_AUTOHSCROLL | WS_TABSTOP, 110, y, 360, 24, 0);
            mk("BUTTON", "Image...", WS_TABSTOP, 478, y, 66, 24, ID_IMAGE + d);
            mk("BUTTON", "Folder...", WS_TABSTOP, 548, y, 66, 24, ID_FOLDER + d);
        }
        mk("STATIC", "Install to:", 0, 16, 130, 90, 20, 0);
        e_dir = mk("EDIT", opts->install_dir, ES_AUTOHSCROLL | WS_TABSTOP, 110, 126, 360, 24, 0);
        mk("BUTTON", "Browse...", WS_TABSTOP, 478, 126, 136, 24, ID_BROWSE);
        c_start = mk("BUTTON", "Start menu shortcut", BS_AUTOCHECKBOX | WS_TABSTOP, 16, 166, 200, 22, 0);
        c_desk = mk("BUTTON", "Desktop shortcut", BS_AUTOCHECKBOX | WS_TABSTOP, 230, 166, 200, 22, 0);
        prog = mk(PROGRESS_CLASSA, "", 0, 16, 200, 598, 18, 0);
        st = mk("STATIC", READY, 0, 16, 224, 598, 20, 0);
        lst = mk("LISTBOX", "",
                 WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | WS_TABSTOP, 16, 248, 598,
                 110, 0);
        b_install = mk("BUTTON", "Install", BS_DEFPUSHBUTTON | WS_TABSTOP, 418, 368, 96, 30, ID_INSTALL);
        b_close = mk("BUTTON", "Cancel", WS_TABSTOP, 518, 368, 96, 30, ID_CLOSE);

        // Both boxes start ticked whatever the switches said: in the window
        // the boxes decide.
        SendMessageA(c_start, BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(c_desk, BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(prog, PBM_SETRANGE32, 0, 1000);
        layout();
    }

    // Made for the system's DPI, the window takes the size, font and layout
    // of the DPI of the monitor it landed on, and becomes the log's sink.
    void on_create() {
        dpi = dpi_of(hwnd);
        fit_client();
        make_font();
        log_set_window(hwnd);
        make_controls();
    }

    void show(int how) {
        ShowWindow(hwnd, how);
        SetFocus(e_cd[0]);
    }

    // The log's lines go nowhere once the window is gone.
    void on_destroy() {
        if (log_sink_user() == hwnd) log_set_window(nullptr);
        PostQuitMessage(0);
    }

    // The window moved to a monitor of another scale: the suggested
    // rectangle, the font and the layout for the new DPI.
    void on_dpi_changed(UINT new_dpi, const RECT* suggested) {
        if (controls.empty()) return;
        dpi = new_dpi ? new_dpi : 96;
        HFONT old = make_font();
        for (const placed& c : controls) SendMessageA(c.h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (old) DeleteObject(old);
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        fit_client();
        layout();
        list_extent = 0;
        SendMessageA(lst, LB_SETHORIZONTALEXTENT, 0, 0);
        const int lines = int(SendMessageA(lst, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < lines; i++) {
            std::vector<char> text(size_t(SendMessageA(lst, LB_GETTEXTLEN, WPARAM(i), 0)) + 1);
            SendMessageA(lst, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text.data()));
            widen_list(text.data());
        }
        InvalidateRect(hwnd, nullptr, TRUE);
    }

    // The box about a damaged disc belongs to the window but, unlike the
    // window's other boxes, leaves it enabled once it is up: Stop stays in
    // reach while the user cleans the disc.
    void on_disc_unreadable(disc_unreadable* q) {
        box_hook = SetWindowsHookExA(WH_CBT, keep_window_enabled, nullptr, GetCurrentThreadId());
        q->answer = MessageBoxA(hwnd, q->text, BOX_CAPTION, MB_RETRYCANCEL | MB_ICONWARNING);
        if (box_hook) UnhookWindowsHookEx(box_hook);
        box_hook = nullptr;
        SetEvent(q->answered);
    }

    // The first box activated while the hook is set is the damaged-disc box.
    void on_box_activated() {
        if (!box_hook) return;
        UnhookWindowsHookEx(box_hook);
        box_hook = nullptr;
        EnableWindow(hwnd, TRUE);
    }

    void browse_folder(HWND edit, const char* title) {
        char start[PATH_CHARS] = {};
        GetWindowTextA(edit, start, sizeof start);
        char display[MAX_PATH];
        BROWSEINFOA bi = {};
        bi.hwndOwner = hwnd;
        bi.pszDisplayName = display;
        bi.lpszTitle = title;
        bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        if (start[0] && is_dir(start)) {
            bi.lpfn = start_at_field;
            bi.lParam = reinterpret_cast<LPARAM>(start);
        }
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
        // The dialog opens in the folder of the field: the folder itself (such
        // as a drive root, which is no file name to start from), or the folder
        // of an image chosen before, with that image's name.
        char folder[PATH_CHARS] = {};
        if (is_dir(name)) {
            text_printf(folder, sizeof folder, "%s", name);
            name[0] = 0;
        } else if (const char* slash = strrchr(name, '\\')) {
            text_printf(folder, sizeof folder, "%.*s", int(slash - name), name);
            if (!is_dir(folder)) folder[0] = 0;
        }

        OPENFILENAMEA ofn = {};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = hwnd;
        ofn.lpstrFilter =
            "CD images (*.iso;*.cue;*.bin;*.img;*.ccd;*.mds;*.mdf;*.nrg;*.toc)\0"
            "*.iso;*.cue;*.bin;*.img;*.ccd;*.mds;*.mdf;*.nrg;*.toc\0All files\0*.*\0";
        ofn.lpstrFile = name;
        ofn.nMaxFile = sizeof name;
        ofn.lpstrInitialDir = folder[0] ? folder : nullptr;
        ofn.lpstrTitle = title;
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
        if (open_file_dialog && open_file_dialog(&ofn)) SetWindowTextA(e_cd[disc], name);
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

        state = phase::installing;
        // The focus leaves the button before it is disabled, so the keyboard keeps working.
        if (GetFocus() == b_install) SetFocus(b_close);
        EnableWindow(b_install, FALSE);
        SetWindowTextA(b_close, "Cancel");
        SetWindowTextA(st, "Installing...");
        auto job = std::make_unique<install_job>();
        job->opts = *opts;
        job->reports.window = hwnd;
        HANDLE thread = CreateThread(nullptr, 0, install_worker, job.get(), 0, nullptr);
        if (!thread) {
            // Ends like a failed installation, so that the window does not stay
            // busy with nothing running.
            setup_log("cannot start the installation's thread (%s)", error_text(GetLastError()).c_str());
            setup_log("ERROR: %s", "cannot start the installation");
            PostMessageA(hwnd, WM_INSTALL_ENDED, 0, 0);
            return;
        }
        job.release();        // the worker frees it
        CloseHandle(thread);  // the window never waits for it
    }

    void play() {
        char exe[FILE_PATH_CHARS];
        text_printf(exe, sizeof exe, "%s\\tolvenar.exe", opts->install_dir);
        ShellExecuteA(nullptr, "open", exe, nullptr, opts->install_dir, SW_SHOWNORMAL);
        DestroyWindow(hwnd);
    }

    void on_close() {
        if (state == phase::installing) {
            // No is the default: an Enter meant for something else must not stop it.
            if (MessageBoxA(hwnd, "Stop the installation?", BOX_CAPTION,
                            MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
                return;
            // The installation may have ended while the question was open.
            if (state == phase::installing) {
                // Ends at once, without running library shutdown code: the
                // worker may be stopped inside the C library or the heap
                // holding its lock. Every logged line is already on disk.
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
            // While installing nothing: the keyboard can reach a disabled default button.
            if (state == phase::idle)
                start_install();
            else if (state == phase::installed)
                play();
            break;
        case ID_CLOSE:
        case IDCANCEL:  // Escape
            on_close();
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

    // The line is ours to free. A line whose copy could not be made arrives
    // as null and shows nothing.
    void on_log_line(char* text) {
        if (!text) return;
        LRESULT index = SendMessageA(lst, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (index >= 0) SendMessageA(lst, LB_SETCURSEL, index, 0);
        widen_list(text);
        SetWindowTextA(st, text);
        free(text);
    }

    void on_install_progress(WPARAM per_mille) { SendMessageA(prog, PBM_SETPOS, per_mille, 0); }

    void on_ended(bool ok) {
        state = ok ? phase::installed : phase::idle;
        if (ok) {
            SendMessageA(prog, PBM_SETPOS, 1000, 0);
            SetWindowTextA(st, "Tolvenar is installed.");
            SetWindowTextA(b_install, "Play");
        } else {
            SetWindowTextA(st, "The installation did not finish - see the messages above.");
        }
        EnableWindow(b_install, TRUE);
        SetWindowTextA(b_close, "Close");
    }

    // The focus comes back to the control that had it when the window was
    // left. False when the window has no controls yet or is minimised, for
    // the default handling.
    bool on_activate(WORD how, bool minimised) {
        if (controls.empty() || minimised) return false;
        if (how == WA_INACTIVE) {
            HWND f = GetFocus();
            if (f && IsChild(hwnd, f)) last_focus = f;
        } else {
            SetFocus(last_focus && IsWindowEnabled(last_focus) ? last_focus : e_cd[0]);
        }
        return true;
    }
};

// A hook procedure is told nothing of who set it: the box it sees activated
// leads to its owner, and from there to the owner's state if the owner is a
// setup window.
LRESULT CALLBACK keep_window_enabled(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
        HWND owner = GetWindow(reinterpret_cast<HWND>(wp), GW_OWNER);
        char cls[32];
        if (owner && GetClassNameA(owner, cls, sizeof cls) && strcmp(cls, CLASS_NAME) == 0)
            if (setup_window* s = setup_window::of(owner)) s->on_box_activated();
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK wndproc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) setup_window::attach(w, reinterpret_cast<const CREATESTRUCTA*>(lp));
    setup_window* s = setup_window::of(w);
    if (!s) return DefWindowProcA(w, msg, wp, lp);  // before WM_NCCREATE
    switch (msg) {
    case WM_CREATE:
        s->on_create();
        return 0;
    case WM_DESTROY:
        s->on_destroy();
        return 0;
    case WM_NCDESTROY:
        setup_window::detach(w);
        break;
    case WM_CLOSE:
        s->on_close();
        return 0;
    case WM_COMMAND:
        s->on_command(LOWORD(wp));
        return 0;
    case WM_ACTIVATE:
        if (s->on_activate(LOWORD(wp), HIWORD(wp) != 0)) return 0;
        break;
    case DM_GETDEFID:  // asked by IsDialogMessage for Enter: Install, or Play
        return MAKELRESULT(ID_INSTALL, DC_HASDEFID);
    case WM_DPICHANGED:
        s->on_dpi_changed(LOWORD(wp), reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_LOG_LINE:
        s->on_log_line(reinterpret_cast<char*>(lp));
        return 0;
    case WM_INSTALL_PROGRESS:
        s->on_install_progress(wp);
        return 0;
    case WM_INSTALL_ENDED:
        s->on_ended(wp != 0);
        return 0;
    case WM_DISC_UNREADABLE:
        s->on_disc_unreadable(reinterpret_cast<disc_unreadable*>(lp));
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

}  // namespace

int run_window(HINSTANCE instance, int show, install_opts* o) {
    // The manifest's activation context makes this version 6 of the controls.
    module_handle controls_dll(LoadLibraryA("comctl32.dll"));
    const auto init_controls = controls_dll ? reinterpret_cast<init_controls_fn>(reinterpret_cast<void*>(
                                                  GetProcAddress(controls_dll.get(), "InitCommonControlsEx")))
                                            : nullptr;
    const DWORD controls_error = init_controls ? 0 : GetLastError();
    module_handle dialogs_dll(LoadLibraryA("comdlg32.dll"));
    window_start start = {o, nullptr};
    if (dialogs_dll)
        start.open_file_dialog = reinterpret_cast<open_file_fn>(
            reinterpret_cast<void*>(GetProcAddress(dialogs_dll.get(), "GetOpenFileNameA")));
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    if (!init_controls || !init_controls(&icc)) {
        if (init_controls)
            setup_log("the common controls cannot be set up");
        else
            setup_log("cannot load the common controls (%s)", error_text(controls_error).c_str());
        setup_log("ERROR: %s", "cannot create the setup window");
        return 1;
    }
    CoInitialize(nullptr);  // for the folder picker; the process ends instead of uninitialising

    WNDCLASSA wc = {};
    wc.lpfnWndProc = wndproc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = CLASS_NAME;
    RegisterClassA(&wc);

    // Made hidden for the system's DPI, then sized for the DPI of the monitor
    // it landed on.
    const int dpi = int(system_dpi());
    RECT r = {0, 0, MulDiv(CLIENT_W, dpi, 96), MulDiv(CLIENT_H, dpi, 96)};
    AdjustWindowRect(&r, STYLE, FALSE);
    HWND hwnd = CreateWindowExA(0, CLASS_NAME, "Tolvenar - Varnix Setup", STYLE, CW_USEDEFAULT,
                                CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                instance, &start);
    if (!hwnd) {
        setup_log("cannot create the window (%s)", error_text(GetLastError()).c_str());
        setup_log("ERROR: %s", "cannot create the setup window");
        return 1;
    }
    setup_window::of(hwnd)->show(show);

    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(hwnd, &m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    return 0;
}

void log_set_window(HWND window) { log_set_sink(window ? post_line : nullptr, window); }

void on_progress(uint64_t done, uint64_t total, void* user) {
    auto* target = static_cast<report_target*>(user);
    if (!target || !target->window || unattended()) return;
    int value = 0;
    if (total) {
        // Wide arithmetic: done * 1000 must not wrap for very large totals.
        value = done >= total
                    ? 1000
                    : static_cast<int>(static_cast<unsigned __int128>(done) * 1000 / total);
    }
    if (value == target->last_progress) return;
    target->last_progress = value;
    PostMessageA(target->window, WM_INSTALL_PROGRESS, value, 0);
}

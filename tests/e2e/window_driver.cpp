// Drives the running setup window from outside, as a user would, but through
// window messages rather than screen coordinates: reads the controls, presses
// buttons, answers message boxes and checks the game that Play starts.
// One command per run; prints what it sees and exits 1 on any mismatch.
//
//   wait [SECONDS]                 until the setup window is shown
//   layout                         the frame, the client area and all 19 controls, at
//                                  the window's DPI
//   expect KEY=VALUE ...           disc1 disc2 dir start desk install install_enabled
//                                  close status progress lines title enabled (the
//                                  window takes input), until all match
//                                  (at most 30 seconds)
//   get KEY                        print one of the values above
//   set disc1|disc2|dir TEXT       replace a field's text
//   click NAME                     install close browse image1 image2 folder1 folder2
//                                  start desk (BM_CLICK, posted)
//   close                          the window's close button (WM_CLOSE)
//   answer CAPTION yes|no|ok|cancel|retry [TEXT] [SECONDS]
//                                  wait for a message box or dialog (30 seconds unless
//                                  given), check its text, press
//   wait-box CAPTION TEXT SECONDS  until such a box is up
//   box-gone CAPTION TEXT SECONDS  until no such box is shown
//   wait-active SECONDS            until the setup window (or a box it owns) is active
//   default-button CAPTION TEXT yes|no|ok|cancel|retry
//                                  that button of the box is its default
//   nobox CAPTION SECONDS          no such box appears meanwhile
//   wait-status TEXT SECONDS       until the status line reads TEXT
//   wait-lines N SECONDS           until the list holds at least N lines
//   install-watch SECONDS          press Install and follow the installation to its end,
//                                  checking that lines only grow, the status line shows
//                                  the newest one and the bar never goes back
//   lines                          every line of the list
//   filedialog TITLE NAME [PICK [FOLDER]]
//                                  the image choice: its title, its starting file name
//                                  and folder, the two filters; then picks PICK (or
//                                  cancels when PICK is empty)
//   fits                           every text fits its control at the window's DPI, and
//                                  the list's horizontal extent covers its longest line
//   focus                          the name of the control that has the keyboard focus
//   wait-focus NAME SECONDS        until the focus is on NAME (disc1 image1 folder1 disc2
//                                  image2 folder2 dir browse start desk list install close)
//   game DIR                       the stand-in game's box: its program and working folder
//                                  are in DIR, it found the game files; press OK
//   rect                           the window's outer rectangle on the screen, WxH+X+Y
//   wait-progress N SECONDS        until the bar stands at N or more
//   links [clear]                  which shortcut files exist (after removing both)
//   error-text CODE                the setup's words for a system error code, as its
//                                  lines and boxes give them
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util.h"

namespace {

int failures;
const double EXPECT_SECONDS = 30;

// Fills the %s in a message in turn with the arguments (which may hold any text).
void fail(const char* msg, const std::string& a = "", const std::string& b = "",
          const std::string& c = "") {
    const std::string* args[] = {&a, &b, &c};
    std::string out;
    int next = 0;
    for (const char* p = msg; *p; p++) {
        if (p[0] == '%' && p[1] == 's' && next < 3) {
            out += *args[next++];
            p++;
        } else {
            out += *p;
        }
    }
    printf("MISMATCH: %s\n", out.c_str());
    failures++;
}

[[noreturn]] void die(const char* what) {
    printf("FATAL: %s\n", what);
    fflush(stdout);
    exit(2);
}

// Every message goes through a timeout: a hung window must fail the test, not hang it.
LRESULT send(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(h, msg, wp, lp, SMTO_NORMAL, 5000, &result))
        die("the window does not answer");
    return static_cast<LRESULT>(result);
}

std::string text_of(HWND h) {
    char buf[2048] = {};
    send(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
    return buf;
}

std::string class_of(HWND h) {
    char buf[256] = {};
    GetClassNameA(h, buf, sizeof buf);
    return buf;
}

HWND main_window() { return FindWindowA("TolvenarSetup", nullptr); }

HWND need_main() {
    HWND w = main_window();
    if (!w) die("no setup window");
    return w;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> v;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) v.push_back(c);
    return v;
}

// The controls in creation order, by their place in the table.
enum {
    C_INTRO, C_LABEL1, C_DISC1, C_IMAGE1, C_FOLDER1, C_LABEL2, C_DISC2, C_IMAGE2, C_FOLDER2,
    C_DIRLABEL, C_DIR, C_BROWSE, C_START, C_DESK, C_PROG, C_STATUS, C_LIST, C_INSTALL, C_CLOSE,
    C_COUNT
};

std::vector<HWND> controls() {
    std::vector<HWND> v = children(need_main());
    if (v.size() != C_COUNT) {
        printf("the window has %zu child windows\n", v.size());
        die("not 19 controls");
    }
    return v;
}

// Entries of a list or combo box are read in their wide form: Wine 8 hands
// the ANSI form of LB_GETTEXT across processes as wide characters, twice the
// length that LB_GETTEXTLEN announced.
std::string entry(HWND h, UINT len_msg, UINT text_msg, int i) {
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(h, len_msg, i, 0, SMTO_NORMAL, 5000, &n)) die("the window does not answer");
    if (static_cast<LRESULT>(n) < 0) return "";
    std::vector<wchar_t> w(n + 1);
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, text_msg, i, reinterpret_cast<LPARAM>(w.data()), SMTO_NORMAL, 5000,
                             &got))
        die("the window does not answer");
    w[n] = 0;
    std::string a(4 * n + 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), -1, &a[0], static_cast<int>(a.size()), nullptr, nullptr);
    a.resize(strlen(a.c_str()));
    return a;
}

std::string list_line(HWND lst, int i) { return entry(lst, LB_GETTEXTLEN, LB_GETTEXT, i); }

std::vector<std::string> list_lines(HWND lst) {
    std::vector<std::string> v;
    int n = static_cast<int>(send(lst, LB_GETCOUNT));
    for (int i = 0; i < n; i++) v.push_back(list_line(lst, i));
    return v;
}

int cmd_wait(double seconds) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(50)) {
        HWND w = main_window();
        if (w && IsWindowVisible(w)) {
            printf("window up\n");
            return 0;
        }
    }
    die("the setup window did not appear");
}

struct row {
    const char* cls;
    const char* text;  // null: not checked here (fields)
    DWORD style;       // added to WS_CHILD | WS_VISIBLE
    int x, y, w, h, id;
};

const char* const INTRO =
    "Install Tolvenar as a native Windows game.\n"
    "You need your copy of Tolvenar: both CDs, as discs, ISO / BIN+CUE images or copied "
    "folders. Everything is copied to the hard disk: no CD is needed afterwards.";

// The layout at 96 DPI. The introduction is 36 high there and grows to fit
// its text, moving everything below it down by as much (at most 108).
const row TABLE[C_COUNT] = {
    {"Static", INTRO, 0, 16, 14, 600, 36, 0},
    {"Static", "Disc 1:", 0, 16, 66, 90, 20, 0},
    {"Edit", nullptr, ES_AUTOHSCROLL | WS_TABSTOP, 110, 62, 360, 24, 0},
    {"Button", "Image...", WS_TABSTOP, 478, 62, 66, 24, 200},
    {"Button", "Folder...", WS_TABSTOP, 548, 62, 66, 24, 300},
    {"Static", "Disc 2:", 0, 16, 98, 90, 20, 0},
    {"Edit", nullptr, ES_AUTOHSCROLL | WS_TABSTOP, 110, 94, 360, 24, 0},
    {"Button", "Image...", WS_TABSTOP, 478, 94, 66, 24, 201},
    {"Button", "Folder...", WS_TABSTOP, 548, 94, 66, 24, 301},
    {"Static", "Install to:", 0, 16, 130, 90, 20, 0},
    {"Edit", nullptr, ES_AUTOHSCROLL | WS_TABSTOP, 110, 126, 360, 24, 0},
    {"Button", "Browse...", WS_TABSTOP, 478, 126, 136, 24, 101},
    {"Button", "Start menu shortcut", BS_AUTOCHECKBOX | WS_TABSTOP, 16, 166, 200, 22, 0},
    {"Button", "Desktop shortcut", BS_AUTOCHECKBOX | WS_TABSTOP, 230, 166, 200, 22, 0},
    {"msctls_progress32", "", 0, 16, 200, 598, 18, 0},
    {"Static", "Ready. About 2.6 GB of free space is needed.", 0, 16, 224, 598, 20, 0},
    // The scroll bar styles are cleared by the list itself while its bars are hidden.
    {"ListBox", "", WS_BORDER | LBS_NOINTEGRALHEIGHT | WS_TABSTOP, 16, 248, 598, 110, 0},
    {"Button", "Install", BS_DEFPUSHBUTTON | WS_TABSTOP, 418, 368, 96, 30, 102},
    {"Button", "Cancel", WS_TABSTOP, 518, 368, 96, 30, 103},
};

// The names of the controls that take the focus, for focus and the tab order.
const char* const FOCUS_NAMES[C_COUNT] = {
    nullptr, nullptr, "disc1", "image1", "folder1", nullptr, "disc2", "image2", "folder2",
    nullptr, "dir", "browse", "start", "desk", nullptr, nullptr, "list", "install", "close"};

std::string num(long v) { return std::to_string(v); }

// The window's DPI (per monitor where the system knows one), else the system's.
UINT dpi_of(HWND w) {
    using get_dpi_fn = UINT(WINAPI*)(HWND);
    auto get_dpi = reinterpret_cast<get_dpi_fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (UINT d = get_dpi ? get_dpi(w) : 0) return d;
    HDC screen = GetDC(nullptr);
    int d = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return UINT(d);
}

struct geometry {
    UINT dpi;
    int grown;  // how much the introduction grew
    int scale(int v) const { return MulDiv(v, int(dpi), 96); }
};

RECT client_rect_of(HWND main, HWND c) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

geometry geometry_of(HWND main, const std::vector<HWND>& c) {
    geometry g{dpi_of(main), 0};
    RECT intro = client_rect_of(main, c[C_INTRO]);
    g.grown = (intro.bottom - intro.top) - g.scale(36);
    return g;
}

int cmd_layout() {
    HWND w = need_main();
    std::string title = text_of(w);
    if (title != "Tolvenar - Varnix Setup") fail("title '%s'", title);
    LONG style = GetWindowLongA(w, GWL_STYLE);
    printf("window style %08lx\n", static_cast<unsigned long>(style));
    if (style & WS_THICKFRAME) fail("the window has a sizing border");
    if (style & WS_MAXIMIZEBOX) fail("the window has a maximise button");
    if ((style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)) !=
        (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX))
        fail("no title bar, window menu or minimise button");
    std::vector<HWND> c = controls();
    const geometry g = geometry_of(w, c);
    RECT rc;
    GetClientRect(w, &rc);
    printf("dpi %u, client %ldx%ld, introduction grown by %d\n", g.dpi, rc.right - rc.left,
           rc.bottom - rc.top, g.grown);
    if (rc.right - rc.left != g.scale(630) || rc.bottom - rc.top != g.scale(516))
        fail("client area %s x %s", num(rc.right - rc.left), num(rc.bottom - rc.top));
    if (g.grown < 0 || g.grown > g.scale(108)) fail("the introduction grew by %s", num(g.grown));

    for (int i = 0; i < C_COUNT; i++) {
        const row& r = TABLE[i];
        RECT wr = client_rect_of(w, c[i]);
        std::string cls = class_of(c[i]), text = text_of(c[i]);
        DWORD st = static_cast<DWORD>(GetWindowLongA(c[i], GWL_STYLE));
        DWORD ex = static_cast<DWORD>(GetWindowLongA(c[i], GWL_EXSTYLE));
        int id = GetDlgCtrlID(c[i]);
        printf("%2d %-17s id %3d at %3ld,%3ld %3ldx%2ld style %08lx ex %03lx '%s'\n", i + 1,
               cls.c_str(), id, wr.left, wr.top, wr.right - wr.left, wr.bottom - wr.top,
               static_cast<unsigned long>(st), static_cast<unsigned long>(ex & 0xFFF),
               text.substr(0, 50).c_str());
        std::string where = "control " + num(i + 1);
        if (lstrcmpiA(cls.c_str(), r.cls) != 0) fail("%s: class %s", where, cls);
        if (r.text && text != r.text) fail("%s: text '%s'", where, text);
        const int below = i == C_INTRO ? 0 : g.grown;
        const int height = i == C_INTRO ? g.scale(r.h) + g.grown : g.scale(r.h);
        if (wr.left != g.scale(r.x) || wr.top != g.scale(r.y) + below ||
            wr.right - wr.left != g.scale(r.w) || wr.bottom - wr.top != height)
            fail("%s: not at its place (%s)",
                 where, num(wr.left) + "," + num(wr.top) + " " + num(wr.right - wr.left) + "x" +
                            num(wr.bottom - wr.top));
        if (id != r.id) fail("%s: id %s", where, num(id));
        if ((st & (WS_CHILD | WS_VISIBLE)) != (WS_CHILD | WS_VISIBLE))
            fail("%s: not a visible child", where);
        if ((st & WS_TABSTOP) != (r.style & WS_TABSTOP)) fail("%s: tab stop wrong", where);
        if ((st & r.style) != r.style) fail("%s: lacks its style bits", where);
        // The button kind is the low four bits: push, default push or check box.
        if (cls == "Button" && (st & 0xF) != (r.style & 0xF)) fail("%s: wrong button kind", where);
        if (cls == "ListBox" && (st & LBS_SORT)) fail("%s: the list is sorted", where);
        bool edge = (ex & WS_EX_CLIENTEDGE) != 0;
        if (edge != (lstrcmpiA(r.cls, "Edit") == 0)) fail("%s: client edge wrong", where);
        if (!IsWindowEnabled(c[i])) fail("%s: disabled", where);
    }
    LRESULT range_hi = send(c[C_PROG], PBM_GETRANGE, FALSE);
    LRESULT range_lo = send(c[C_PROG], PBM_GETRANGE, TRUE);
    if (range_lo != 0 || range_hi != 1000) fail("progress range %s..%s", num(range_lo), num(range_hi));
    if (send(c[C_LIST], LB_GETCOUNT) != 0) fail("the list is not empty");
    return 0;
}

// The message font at the window's DPI, as the setup makes it: the system's
// metrics, scaled when the window's DPI is not the system's.
HFONT message_font(UINT dpi) {
    NONCLIENTMETRICSA ncm = {};
    ncm.cbSize = 344;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0);
    HDC screen = GetDC(nullptr);
    int system = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (int(dpi) != system) ncm.lfMessageFont.lfHeight = MulDiv(ncm.lfMessageFont.lfHeight, int(dpi), system);
    return CreateFontIndirectA(&ncm.lfMessageFont);
}

struct measurer {
    HDC dc;
    HFONT font;
    HGDIOBJ old;
    explicit measurer(UINT dpi) : dc(CreateCompatibleDC(nullptr)), font(message_font(dpi)) {
        old = SelectObject(dc, font);
    }
    ~measurer() {
        SelectObject(dc, old);
        DeleteObject(font);
        DeleteDC(dc);
    }
    SIZE line(const std::string& text) {
        SIZE s = {};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &s);
        TEXTMETRICA tm;
        GetTextMetricsA(dc, &tm);
        s.cy = tm.tmHeight;
        return s;
    }
    int wrapped_height(const std::string& text, int width) {
        RECT r = {0, 0, width, 0};
        DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        return r.bottom - r.top;
    }
};

// Every text fits its control in the window's font at its DPI: the
// introduction's lines, each label, button and check box, the fields' and
// the status line's text height, and every line of the list in its
// horizontal extent.
int cmd_fits() {
    HWND w = need_main();
    std::vector<HWND> c = controls();
    const geometry g = geometry_of(w, c);
    measurer m(g.dpi);
    for (int i = 0; i < C_COUNT; i++) {
        RECT r = client_rect_of(w, c[i]);
        const int cw = r.right - r.left, ch = r.bottom - r.top;
        std::string text = text_of(c[i]), where = "control " + num(i + 1) + " '" + text.substr(0, 20) + "'";
        const std::string cls = class_of(c[i]);
        const DWORD kind = static_cast<DWORD>(GetWindowLongA(c[i], GWL_STYLE)) & 0xF;
        SIZE t = m.line(text);
        int need_w = t.cx, need_h = t.cy;
        if (i == C_INTRO) {
            need_w = 0;
            need_h = m.wrapped_height(text, cw);
        } else if (cls == "Button" && kind == BS_AUTOCHECKBOX) {
            need_w = t.cx + GetSystemMetrics(SM_CXMENUCHECK) + g.scale(4);
        } else if (cls == "Button") {
            need_w = t.cx + g.scale(8);
            need_h = t.cy + g.scale(4);
        } else if (cls == "Edit") {
            need_w = 0;  // fields scroll sideways
            need_h = t.cy + 2 * GetSystemMetrics(SM_CYEDGE);
        } else if (cls != "Static") {
            continue;
        }
        printf("%-40s needs %4dx%-3d has %4dx%d\n", where.c_str(), need_w, need_h, cw, ch);
        if (need_w > cw || need_h > ch) fail("%s: its text does not fit", where);
    }
    // The list scrolls sideways as far as its longest line.
    long extent = static_cast<long>(send(c[C_LIST], LB_GETHORIZONTALEXTENT));
    long longest = 0;
    for (const std::string& line : list_lines(c[C_LIST])) longest = std::max(longest, long(m.line(line).cx));
    printf("list: longest line %ld, horizontal extent %ld\n", longest, extent);
    if (extent < longest) fail("the list's extent %s is shorter than its longest line %s", num(extent), num(longest));
    return 0;
}

std::string value_of(const std::string& key, const std::vector<HWND>& c) {
    if (key == "disc1") return text_of(c[C_DISC1]);
    if (key == "disc2") return text_of(c[C_DISC2]);
    if (key == "dir") return text_of(c[C_DIR]);
    if (key == "start") return num(static_cast<long>(send(c[C_START], BM_GETCHECK)));
    if (key == "desk") return num(static_cast<long>(send(c[C_DESK], BM_GETCHECK)));
    if (key == "install") return text_of(c[C_INSTALL]);
    if (key == "install_enabled") return IsWindowEnabled(c[C_INSTALL]) ? "1" : "0";
    if (key == "close") return text_of(c[C_CLOSE]);
    if (key == "status") return text_of(c[C_STATUS]);
    if (key == "progress") return num(static_cast<long>(send(c[C_PROG], PBM_GETPOS)));
    if (key == "lines") return num(static_cast<long>(send(c[C_LIST], LB_GETCOUNT)));
    if (key == "title") return text_of(need_main());
    if (key == "enabled") return IsWindowEnabled(need_main()) ? "1" : "0";
    die(("unknown key " + key).c_str());
}

// The window handles posted clicks and messages in its own time, so the
// values are read until they all match or the deadline passes.
int cmd_expect(int argc, char** argv, double seconds) {
    std::vector<std::pair<std::string, std::string>> wanted;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        size_t eq = a.find('=');
        if (eq == std::string::npos) die("expect KEY=VALUE");
        wanted.emplace_back(a.substr(0, eq), a.substr(eq + 1));
    }
    std::vector<std::string> got(wanted.size());
    for (DWORD start = GetTickCount();; Sleep(20)) {
        std::vector<HWND> c = controls();
        bool all = true;
        for (size_t i = 0; i < wanted.size(); i++) {
            got[i] = value_of(wanted[i].first, c);
            all = all && got[i] == wanted[i].second;
        }
        if (all || GetTickCount() - start >= seconds * 1000) break;
    }
    for (size_t i = 0; i < wanted.size(); i++) {
        printf("%s=%s\n", wanted[i].first.c_str(), got[i].c_str());
        if (got[i] != wanted[i].second)
            fail("%s is '%s', expected '%s'", wanted[i].first, got[i], wanted[i].second);
    }
    return 0;
}

HWND field(const std::string& name, const std::vector<HWND>& c) {
    if (name == "disc1") return c[C_DISC1];
    if (name == "disc2") return c[C_DISC2];
    if (name == "dir") return c[C_DIR];
    die("field: disc1, disc2 or dir");
}

HWND button(const std::string& name, const std::vector<HWND>& c) {
    if (name == "install") return c[C_INSTALL];
    if (name == "close") return c[C_CLOSE];
    if (name == "browse") return c[C_BROWSE];
    if (name == "image1") return c[C_IMAGE1];
    if (name == "image2") return c[C_IMAGE2];
    if (name == "folder1") return c[C_FOLDER1];
    if (name == "folder2") return c[C_FOLDER2];
    if (name == "start") return c[C_START];
    if (name == "desk") return c[C_DESK];
    die("unknown button");
}

// Posted, not sent: the click may open a modal box, which would hold a sent message.
void click(HWND b) {
    if (!PostMessageA(b, BM_CLICK, 0, 0)) die("cannot post the click");
}

// The text of a message box is its static control with id 0xFFFF.
std::string box_text(HWND box) {
    HWND t = GetDlgItem(box, 0xFFFF);
    return t ? text_of(t) : "";
}

struct found_box {
    const char* caption;
    const char* text;  // null: any
    HWND h;
};

BOOL CALLBACK find_box(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<found_box*>(lp);
    char t[256] = {};
    GetWindowTextA(w, t, sizeof t);
    if (IsWindowVisible(w) && strcmp(t, f->caption) == 0 && class_of(w) == "#32770" &&
        (!f->text || box_text(w) == f->text)) {
        f->h = w;
        return FALSE;
    }
    return TRUE;
}

// A dialog or message box by its caption and, if given, its text: the setup
// may show two boxes of the same caption at once.
HWND wait_box(const char* caption, const char* text, double seconds) {
    for (DWORD start = GetTickCount();; Sleep(30)) {
        found_box f = {caption, text, nullptr};
        EnumWindows(find_box, reinterpret_cast<LPARAM>(&f));
        if (f.h) return f.h;
        if (GetTickCount() - start >= seconds * 1000) return nullptr;
    }
}

int button_id(const std::string& which) {
    return which == "yes" ? IDYES : which == "no" ? IDNO : which == "ok" ? IDOK
         : which == "cancel" ? IDCANCEL : which == "retry" ? IDRETRY : 0;
}

int press(HWND box, const std::string& which) {
    int id = button_id(which);
    if (!id) die("answer: yes, no, ok, cancel or retry");
    HWND b = GetDlgItem(box, id);
    if (!b) {
        fail("the box has no button %s", which);
        return 0;
    }
    click(b);
    // The box is gone once the answer was taken.
    for (int i = 0; i < 200 && IsWindow(box) && IsWindowVisible(box); i++) Sleep(25);
    if (IsWindow(box) && IsWindowVisible(box)) fail("the box stays open after %s", which);
    return 0;
}

int cmd_answer(const char* caption, const std::string& which, const char* want, double seconds) {
    HWND box = wait_box(caption, want, seconds);
    if (!box) die("no such box");
    std::string text = box_text(box);
    printf("box '%s': '%s'\n", caption, text.c_str());
    // The window's own questions belong to it, and so does the question about
    // a damaged disc; the install pipeline's other box has no owner.
    HWND owner = GetWindow(box, GW_OWNER);
    if (text == "Stop the installation?" || text == "Please choose both discs and the install folder." ||
        text.find(" could not be read at ") != std::string::npos) {
        if (owner != main_window()) fail("the box is not owned by the setup window");
    } else if (strcmp(caption, "Tolvenar setup") == 0 && owner) {
        fail("the box has an owner window");
    }
    return press(box, which);
}

int cmd_wait_box(const char* caption, const char* text, double seconds) {
    if (!wait_box(caption, text, seconds)) die("no such box");
    return 0;
}

int cmd_wait_status(const char* want, double seconds) {
    HWND status = controls()[C_STATUS];
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(50)) {
        if (text_of(status) == want) return 0;
    }
    printf("status '%s'\n", text_of(status).c_str());
    die("the status line did not come");
}

int cmd_nobox(const char* caption, double seconds) {
    if (HWND box = wait_box(caption, nullptr, seconds)) fail("a box '%s' came up: '%s'", caption, box_text(box));
    return 0;
}

int cmd_wait_lines(int n, double seconds) {
    HWND lst = controls()[C_LIST];
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(20)) {
        if (send(lst, LB_GETCOUNT) >= n) return 0;
    }
    die("the lines did not come");
}

// Presses Install and reads the list, the status line and the bar over and
// over until that installation has ended (its lines are in and Cancel has
// turned into Close).
int cmd_install_watch(double seconds) {
    std::vector<HWND> c = controls();
    std::vector<std::string> seen = list_lines(c[C_LIST]);
    const size_t before = seen.size();
    long bar = static_cast<long>(send(c[C_PROG], PBM_GETPOS));
    bool moved = false;  // a run after a failure starts from the old position
    int samples = 0, mid = 0, running_seen = 0;
    click(c[C_INSTALL]);
    for (DWORD start = GetTickCount();; Sleep(5)) {
        if (GetTickCount() - start > seconds * 1000) die("the installation did not end");
        // The order of the reads matters: the end message follows every line,
        // so Close read after a list that holds new lines means the end.
        std::vector<std::string> lines = list_lines(c[C_LIST]);
        std::string close1 = text_of(c[C_CLOSE]);
        bool enabled = IsWindowEnabled(c[C_INSTALL]) != 0;
        long pos = static_cast<long>(send(c[C_PROG], PBM_GETPOS));
        std::string status1 = text_of(c[C_STATUS]);
        std::vector<std::string> now = list_lines(c[C_LIST]);
        std::string status2 = text_of(c[C_STATUS]);
        std::string close2 = text_of(c[C_CLOSE]);
        bool running = close1 == "Cancel" && close2 == "Cancel" && !enabled;
        samples++;
        running_seen += running;
        if (lines.size() < seen.size()) fail("the list lost lines");
        for (size_t i = 0; i < seen.size() && i < lines.size(); i++)
            if (lines[i] != seen[i]) fail("line changed: '%s' -> '%s'", seen[i], lines[i]);
        seen = lines;
        if (pos != bar) {
            if (pos < bar && moved) fail("the bar went back from %s to %s", num(bar), num(pos));
            moved = true;
            bar = pos;
        }
        // A snapshot is consistent when no line and no end arrived while it was taken.
        if (running && status1 == status2 && now.size() > before) {
            mid++;
            if (status1 != now.back())
                fail("status '%s' is not the newest line '%s'", status1, now.back());
        }
        if (close1 == "Close" && enabled && lines.size() > before) break;
    }
    printf("watched %d samples (%d running, %d while lines arrived), %zu new lines, bar %ld\n",
           samples, running_seen, mid, seen.size() - before, bar);
    return 0;
}

int cmd_lines() {
    for (const std::string& s : list_lines(controls()[C_LIST])) printf("%s\n", s.c_str());
    return 0;
}

// The file-open dialog of the image choice: Explorer style, the name in the
// combo box cmb13 (or edt1), the filters in cmb1.
int cmd_filedialog(const char* title, const char* want_name, const char* pick, const char* want_folder) {
    HWND dlg = wait_box(title, nullptr, 10);
    if (!dlg) die("no file dialog");
    // The folder it shows: the "look in" list's current entry.
    if (HWND look_in = GetDlgItem(dlg, 0x471)) {
        std::string folder = text_of(look_in);
        printf("file dialog folder '%s'\n", folder.c_str());
        if (want_folder && folder != want_folder) fail("opens in '%s', expected '%s'", folder, want_folder);
    } else if (want_folder) {
        fail("no folder list in the file dialog");
    }
    HWND name = GetDlgItem(dlg, 0x47c);
    if (!name) name = GetDlgItem(dlg, 0x480);
    if (!name) die("no file name field");
    std::string got = text_of(name);
    printf("file dialog '%s', name '%s'\n", title, got.c_str());
    if (got != want_name) fail("starting name '%s', expected '%s'", got, want_name);
    HWND types = GetDlgItem(dlg, 0x470);
    if (!types) {
        fail("no file type list");
    } else {
        std::vector<std::string> f;
        int n = static_cast<int>(send(types, CB_GETCOUNT));
        for (int i = 0; i < n; i++) f.push_back(entry(types, CB_GETLBTEXTLEN, CB_GETLBTEXT, i));
        std::string sel = text_of(types);
        const std::string images = "CD images (*.iso;*.cue;*.bin;*.img;*.ccd;*.mds;*.mdf;*.nrg;*.toc)";
        printf("filters: %zu, shown '%s'\n", f.size(), sel.c_str());
        if (f.size() != 2 || f[0] != images || f[1] != "All files")
            fail("the filters are not the two expected");
        if (sel != images) fail("the first filter is not in force: '%s'", sel);
    }
    if (pick && pick[0]) {
        send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pick));
        return press(dlg, "ok");
    }
    return press(dlg, "cancel");
}

std::string lower(std::string s) {
    for (char& ch : s) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    while (s.size() > 3 && s.back() == '\\') s.pop_back();
    return s;
}

// The working folder of another process, from its process parameters.
std::string current_dir_of(HANDLE process) {
    PROCESS_BASIC_INFORMATION pbi = {};
    ULONG got = 0;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &pbi, sizeof pbi, &got) != 0)
        return "";
    char* params = nullptr;
    SIZE_T n = 0;
    // PEB.ProcessParameters at 0x20; CurrentDirectory.DosPath at 0x38 of the parameters (64-bit).
    if (!ReadProcessMemory(process, reinterpret_cast<char*>(pbi.PebBaseAddress) + 0x20, &params,
                           sizeof params, &n))
        return "";
    UNICODE_STRING dos = {};
    if (!ReadProcessMemory(process, params + 0x38, &dos, sizeof dos, &n)) return "";
    std::wstring w(dos.Length / 2, L'\0');
    if (!ReadProcessMemory(process, dos.Buffer, &w[0], dos.Length, &n)) return "";
    char out[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), out, sizeof out - 1,
                        nullptr, nullptr);
    return out;
}

int cmd_game(const char* dir) {
    HWND box = wait_box("Tolvenar", nullptr, 20);
    if (!box) die("the game did not start");
    std::string text = box_text(box);
    printf("game says: %s\n", text.c_str());
    if (text.find("missing") != std::string::npos || text.find("found") == std::string::npos)
        fail("the game did not find its files");
    DWORD pid = 0;
    GetWindowThreadProcessId(box, &pid);
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!p) {
        fail("cannot open the game process");
    } else {
        char image[1024] = {};
        DWORD size = sizeof image;
        QueryFullProcessImageNameA(p, 0, image, &size);
        std::string cwd = current_dir_of(p);
        CloseHandle(p);
        printf("game program %s, working folder %s\n", image, cwd.c_str());
        if (lower(image) != lower(std::string(dir) + "\\tolvenar.exe"))
            fail("the game program is %s", image);
        if (lower(cwd) != lower(dir)) fail("the working folder is '%s', not '%s'", cwd, dir);
    }
    return press(box, "ok");
}

int cmd_links(bool clear) {
    char programs[MAX_PATH], desktop[MAX_PATH];
    SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, programs);
    SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
    std::string s = std::string(programs) + "\\Tolvenar.lnk";
    std::string d = std::string(desktop) + "\\Tolvenar.lnk";
    if (clear) {
        DeleteFileA(s.c_str());
        DeleteFileA(d.c_str());
    }
    printf("start=%d desk=%d\n", GetFileAttributesA(s.c_str()) != INVALID_FILE_ATTRIBUTES,
           GetFileAttributesA(d.c_str()) != INVALID_FILE_ATTRIBUTES);
    return 0;
}

// The control that has the keyboard focus in the setup's thread, by its name.
std::string focused_name() {
    HWND w = need_main();
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info)) return "unknown";
    if (!info.hwndFocus) return "none";
    if (info.hwndFocus == w) return "window";
    std::vector<HWND> c = controls();
    for (int i = 0; i < C_COUNT; i++)
        if (c[i] == info.hwndFocus) return FOCUS_NAMES[i] ? FOCUS_NAMES[i] : "control " + num(i + 1);
    return "other " + class_of(info.hwndFocus);
}

// Until the window is the one that takes the keyboard (the foreground window,
// or a box it owns).
int cmd_wait_active(double seconds) {
    HWND w = need_main();
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(20)) {
        HWND fg = GetForegroundWindow();
        if (fg == w || (fg && GetWindow(fg, GW_OWNER) == w)) return 0;
    }
    fail("the setup window is not active");
    return 0;
}

// Which button of a shown box is its default (the one Enter presses).
int cmd_default_button(const char* caption, const char* text, const std::string& which) {
    HWND box = wait_box(caption, text, 10);
    if (!box) die("no such box");
    HWND b = GetDlgItem(box, button_id(which));
    if (!b) die("the box has no such button");
    DWORD kind = static_cast<DWORD>(GetWindowLongA(b, GWL_STYLE)) & 0xF;
    printf("button %s is %sthe default\n", which.c_str(), kind == BS_DEFPUSHBUTTON ? "" : "not ");
    if (kind != BS_DEFPUSHBUTTON) fail("%s is not the default button", which);
    return 0;
}

// Until no box of that caption and text is shown (it has been answered).
int cmd_box_gone(const char* caption, const char* text, double seconds) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(20))
        if (!wait_box(caption, text, 0)) return 0;
    fail("the box '%s' is still open", text);
    return 0;
}

// Key presses reach the window in its own time: waits until the focus is on NAME.
int cmd_wait_focus(const std::string& want, double seconds) {
    std::string got;
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(20))
        if ((got = focused_name()) == want) return 0;
    fail("the focus is on %s, not on %s", got, want);
    return 0;
}

double secs(int argc, char** argv, int i, double def) { return i < argc ? atof(argv[i]) : def; }

// The driver reads places, sizes and fonts in the window's own pixels, as the
// setup (aware of each monitor's DPI) lays them out: to a program unaware of
// DPI, Wine 10 shows them scaled to 96 DPI.
void be_dpi_aware() {
    using set_context_fn = BOOL(WINAPI*)(HANDLE);
    const auto per_monitor_v2 = reinterpret_cast<HANDLE>(-4);  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    auto set_context = reinterpret_cast<set_context_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDpiAwarenessContext")));
    if (!set_context || !set_context(per_monitor_v2)) SetProcessDPIAware();
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    be_dpi_aware();
    if (argc < 2) die("no command");
    std::string cmd = argv[1];
    if (cmd == "wait") {
        cmd_wait(secs(argc, argv, 2, 20));
    } else if (cmd == "layout") {
        cmd_layout();
    } else if (cmd == "expect") {
        cmd_expect(argc - 2, argv + 2, EXPECT_SECONDS);
    } else if (cmd == "set" && argc == 4) {
        send(field(argv[2], controls()), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
    } else if (cmd == "click" && argc == 3) {
        click(button(argv[2], controls()));
    } else if (cmd == "close") {
        if (!PostMessageA(need_main(), WM_CLOSE, 0, 0)) die("cannot post WM_CLOSE");
    } else if (cmd == "answer" && argc >= 4) {
        cmd_answer(argv[2], argv[3], argc > 4 && argv[4][0] ? argv[4] : nullptr,
                   secs(argc, argv, 5, 30));
    } else if (cmd == "error-text" && argc == 3) {
        printf("%s\n", error_text(strtoul(argv[2], nullptr, 10)).c_str());
    } else if (cmd == "get" && argc == 3) {
        printf("%s\n", value_of(argv[2], controls()).c_str());
    } else if (cmd == "wait-box" && argc == 5) {
        cmd_wait_box(argv[2], argv[3], atof(argv[4]));
    } else if (cmd == "wait-status" && argc == 4) {
        cmd_wait_status(argv[2], atof(argv[3]));
    } else if (cmd == "nobox" && argc == 4) {
        cmd_nobox(argv[2], atof(argv[3]));
    } else if (cmd == "wait-lines" && argc == 4) {
        cmd_wait_lines(atoi(argv[2]), atof(argv[3]));
    } else if (cmd == "install-watch") {
        cmd_install_watch(secs(argc, argv, 2, 120));
    } else if (cmd == "lines") {
        cmd_lines();
    } else if (cmd == "filedialog" && argc >= 4) {
        cmd_filedialog(argv[2], argv[3], argc > 4 ? argv[4] : nullptr, argc > 5 ? argv[5] : nullptr);
    } else if (cmd == "wait-active" && argc == 3) {
        cmd_wait_active(atof(argv[2]));
    } else if (cmd == "default-button" && argc == 5) {
        cmd_default_button(argv[2], argv[3], argv[4]);
    } else if (cmd == "box-gone" && argc == 5) {
        cmd_box_gone(argv[2], argv[3], atof(argv[4]));
    } else if (cmd == "fits") {
        cmd_fits();
    } else if (cmd == "focus") {
        printf("%s\n", focused_name().c_str());
    } else if (cmd == "wait-focus" && argc == 4) {
        cmd_wait_focus(argv[2], atof(argv[3]));
    } else if (cmd == "game" && argc == 3) {
        cmd_game(argv[2]);
    } else if (cmd == "rect") {
        RECT r;
        GetWindowRect(need_main(), &r);
        printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    } else if (cmd == "wait-progress" && argc == 4) {
        HWND bar = controls()[C_PROG];
        DWORD start = GetTickCount();
        while (send(bar, PBM_GETPOS) < atoi(argv[2])) {
            if (GetTickCount() - start > atof(argv[3]) * 1000) die("the bar did not get there");
            Sleep(10);
        }
    } else if (cmd == "links") {
        cmd_links(argc > 2 && strcmp(argv[2], "clear") == 0);
    } else {
        die("unknown command or wrong arguments");
    }
    return failures ? 1 : 0;
}

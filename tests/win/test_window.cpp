// The window's progress callback (when it posts a progress message, and to
// which window; a message-only window stands in for the setup window), and
// the real window's handling of log lines.
#include <windows.h>

#include <malloc.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "log.h"
#include "run_mode.h"
#include "window.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

struct message_window {
    HWND h;
    message_window() {
        h = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    }
    ~message_window() { DestroyWindow(h); }

    // The per-mille values posted since the last call.
    std::vector<WPARAM> posted() {
        std::vector<WPARAM> v;
        MSG m;
        while (PeekMessageA(&m, h, WM_INSTALL_PROGRESS, WM_INSTALL_PROGRESS, PM_REMOVE))
            v.push_back(m.wParam);
        return v;
    }
};

using values = std::vector<WPARAM>;

// One sequence: the callback remembers the last value it posted to its
// target, so the order of these steps matters.
TEST(OnProgress, PostsEachPerMilleValueOnce) {
    message_window w;
    ASSERT_NE(w.h, nullptr);

    report_target target;
    on_progress(5, 10, nullptr);
    on_progress(5, 10, &target);
    EXPECT_EQ(w.posted(), values{}) << "without a target or a window nothing is posted";

    target.window = w.h;
    on_progress(0, 0, &target);
    EXPECT_EQ(w.posted(), values{0}) << "the first call posts, even a 0 (nothing expected: 0)";
    on_progress(0, 1000, &target);
    on_progress(999, 1000000, &target);
    EXPECT_EQ(w.posted(), values{}) << "an equal value posts nothing";

    on_progress(1, 1000, &target);
    on_progress(2, 1000, &target);
    on_progress(2999, 1000000, &target);
    EXPECT_EQ(w.posted(), (values{1, 2})) << "values are rounded down";

    on_progress(1, 3, &target);
    on_progress(2, 3, &target);
    EXPECT_EQ(w.posted(), (values{333, 666}));

    on_progress(11, 10, &target);
    on_progress(10, 10, &target);
    EXPECT_EQ(w.posted(), values{1000}) << "more done than expected shows as 1000";

    on_progress(UINT64_MAX / 2, UINT64_MAX, &target);
    EXPECT_EQ(w.posted(), values{499}) << "no wrap-around for huge byte counts";

    set_unattended(true);
    on_progress(7, 10, &target);
    EXPECT_EQ(w.posted(), values{}) << "silent mode posts nothing";
    set_unattended(false);
    on_progress(7, 10, &target);
    EXPECT_EQ(w.posted(), values{700}) << "and leaves the last value as it was";
}

// Over a whole run, however many chunks are reported, at most one message per value.
TEST(OnProgress, AtMostOneMessagePerValueInARun) {
    message_window w;
    report_target target;
    target.window = w.h;
    on_progress(0, 1, &target);  // a known starting point
    w.posted();
    const uint64_t total = 3 * 1024 * 1024 + 17;
    for (uint64_t done = 0; done <= total; done += 997) on_progress(done, total, &target);
    on_progress(total, total, &target);
    values v = w.posted();
    ASSERT_FALSE(v.empty());
    EXPECT_EQ(v.size(), 1000u) << "0 was posted before, 1..1000 once each";
    for (size_t i = 0; i < v.size(); i++) EXPECT_EQ(v[i], i + 1);
}

}  // namespace

namespace {

// The blocks in use on the C heap, where the log lines' copies live, whose
// size lies in [min, max]. Where the C runtime allocates from the process
// heap that everything else uses too (Wine 10), the bytes in use grow and
// shrink with the controls' own storage; copies left behind are still blocks
// of the copies' size.
size_t c_heap_blocks(size_t min, size_t max) {
    size_t blocks = 0;
    _HEAPINFO info = {};
    while (_heapwalk(&info) == _HEAPOK)
        if (info._useflag == _USEDENTRY && info._size >= min && info._size <= max) blocks++;
    return blocks;
}

// The setup window's list, once the window has made its controls (it takes
// log lines from then on).
HWND wait_for_list(DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10))
        if (HWND main = FindWindowA("TolvenarSetup", nullptr))
            if (HWND list = FindWindowExA(main, nullptr, "ListBox", nullptr)) return list;
    return nullptr;
}

// The real setup window, hidden, on a thread of its own for one test; closed
// and waited for at the test's end. list is null when it did not come up.
struct hidden_window {
    install_opts opts{};
    std::thread ui{[this] { run_window(GetModuleHandleA(nullptr), SW_HIDE, &opts); }};
    HWND list = wait_for_list(10000);
    HWND main = list ? GetParent(list) : nullptr;

    ~hidden_window() {
        if (!list) {
            ui.detach();
            return;
        }
        PostMessageA(main, WM_CLOSE, 0, 0);
        ui.join();
        log_set_window(nullptr);
    }
};

// The window takes over each line's heap copy and must free it once shown:
// thousands of lines pass through a long installation.
TEST(SetupWindow, FreesEveryLogLineItShows) {
    hidden_window w;
    ASSERT_NE(w.list, nullptr);
    HWND list = w.list;
    auto shown = [list] {
        DWORD_PTR n = 0;
        SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &n);
        return size_t(n);
    };
    auto wait_shown = [&](size_t n) {
        for (DWORD start = GetTickCount(); shown() < n && GetTickCount() - start < 30000;) Sleep(10);
        return shown();
    };

    const std::string text(1000, 'x');
    setup_log("%s", text.c_str());  // the first line may set up the list's own storage
    ASSERT_EQ(wait_shown(1), 1u);
    // A copy holds "N " (up to 1999), the text and its end: 1,003 to 1,006
    // bytes, which a heap may round up.
    const size_t copy_min = text.size() + 3, copy_max = text.size() + 24;
    const size_t before = c_heap_blocks(copy_min, copy_max);
    const size_t lines = 2000;
    for (size_t i = 0; i < lines; i++) setup_log("%zu %s", i, text.c_str());
    ASSERT_EQ(wait_shown(1 + lines), 1 + lines);
    const size_t after = c_heap_blocks(copy_min, copy_max);

    // Copies kept would be 2,000 more blocks.
    EXPECT_LT(after, before + 20) << "before " << before << ", after " << after;
}

// The window is the log's sink while it exists, and only then: a window
// handle can be reused once its window is gone.
TEST(SetupWindow, IsTheLogSinkUntilItCloses) {
    install_opts opts{};
    std::thread ui{[&opts] { run_window(GetModuleHandleA(nullptr), SW_HIDE, &opts); }};
    HWND list = wait_for_list(10000);
    if (!list) {
        ui.detach();
        FAIL() << "the window did not come up";
    }
    HWND main = GetParent(list);
    EXPECT_EQ(log_sink_user(), main);
    PostMessageA(main, WM_CLOSE, 0, 0);
    ui.join();
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(log_sink_user(), nullptr);
}

}  // namespace

namespace {

RECT rect_in(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Moved to a monitor of another scale, the window takes the suggested
// rectangle and lays itself out for the new DPI, font included.
TEST(SetupWindow, FollowsAChangeOfDpi) {
    hidden_window w;
    ASSERT_NE(w.list, nullptr);
    HWND list = w.list, main = w.main;
    HDC screen = GetDC(nullptr);
    const int from = GetDeviceCaps(screen, LOGPIXELSY);  // the window starts at the system's DPI
    ReleaseDC(nullptr, screen);
    const int to = from * 2;

    RECT suggested = {40, 30, 40 + 1400, 30 + 1200};
    SendMessageA(main, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    RECT window, client;
    GetWindowRect(main, &window);
    GetClientRect(main, &client);
    EXPECT_EQ(window.left, 40);
    EXPECT_EQ(window.top, 30);
    EXPECT_EQ(client.right, MulDiv(630, to, 96));
    EXPECT_EQ(client.bottom, MulDiv(516, to, 96));
    RECT l = rect_in(main, list);
    EXPECT_EQ(l.left, MulDiv(16, to, 96));
    EXPECT_EQ(l.right - l.left, MulDiv(598, to, 96));
    EXPECT_EQ(l.bottom - l.top, MulDiv(110, to, 96));

    // The font grew with the DPI.
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
    LOGFONTA lf = {};
    ASSERT_TRUE(GetObjectA(font, sizeof lf, &lf));
    NONCLIENTMETRICSA ncm = {};
    ncm.cbSize = 344;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, ncm.cbSize, &ncm, 0));
    EXPECT_EQ(lf.lfHeight, MulDiv(ncm.lfMessageFont.lfHeight, to, from));
}

}  // namespace

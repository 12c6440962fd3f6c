// dismiss_box CAPTION [SECONDS]: waits for a top-level window with that
// caption (a message box), prints its text, presses its first button and
// exits 0; exits 1 when none appears in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

BOOL CALLBACK print_static(HWND child, LPARAM) {
    char cls[32], text[1024];
    GetClassNameA(child, cls, sizeof cls);
    if (!lstrcmpiA(cls, "Static") && GetWindowTextA(child, text, sizeof text) > 0)
        printf("%s\n", text);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    int seconds = argc > 2 ? atoi(argv[2]) : 20;
    for (int i = 0; i < seconds * 20; i++) {
        // A message box is complete once shown: its text is set while it is hidden.
        HWND box = FindWindowA(nullptr, argv[1]);
        if (box && IsWindowVisible(box)) {
            EnumChildWindows(box, print_static, 0);
            fflush(stdout);
            HWND button = FindWindowExA(box, nullptr, "Button", nullptr);
            // The button's command, as a click sends it; BM_CLICK needs an active window.
            if (button)
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
            else
                PostMessageA(box, WM_CLOSE, 0, 0);
            return 0;
        }
        Sleep(50);
    }
    return 1;
}

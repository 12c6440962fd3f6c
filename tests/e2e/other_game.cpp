// A second game program for the payload test: setup.exe built around it must
// install it in place of the stand-in. "/check" answers with exit code 7, which
// the stand-in never gives.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmd, int) {
    if (strstr(cmd, "/check")) return 7;
    MessageBoxA(nullptr, "Another game program, carried for a test.", "Tolvenar", MB_OK);
    return 0;
}

// The stand-in game program that setup.exe carries and installs as
// tolvenar.exe. It is honest about what it is: it says that it stands in for
// the game and whether it finds the game files the setup laid out beside it.
// "/check" shows nothing and answers by exit code (0 found, 2 not found).
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmd, int) {
    char dir[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) return 1;
    if (char* slash = strrchr(dir, '\\')) *slash = 0;

    char tl[MAX_PATH + 32], settings[MAX_PATH + 32];
    snprintf(tl, sizeof tl, "%s\\game\\hd\\TL", dir);
    snprintf(settings, sizeof settings, "%s\\TLP.DAT", tl);
    DWORD a = GetFileAttributesA(tl);
    bool have_tl = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    bool have_settings = GetFileAttributesA(settings) != INVALID_FILE_ATTRIBUTES;

    if (strstr(cmd, "/check")) return have_tl && have_settings ? 0 : 2;

    char text[2 * MAX_PATH + 256];
    snprintf(text, sizeof text,
             "Tolvenar (stand-in game program)\n\n"
             "This program takes the place of the game so that the setup can be built and "
             "tested.\n\nGame folder %s: %s\nSettings file %s: %s",
             tl, have_tl ? "found" : "missing", settings, have_settings ? "found" : "missing");
    MessageBoxA(nullptr, text, "Tolvenar", MB_OK | (have_tl && have_settings ? MB_ICONINFORMATION
                                                                            : MB_ICONWARNING));
    return have_tl && have_settings ? 0 : 2;
}

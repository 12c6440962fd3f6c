// Start-up and command line, and the setup log.
#include "setup.h"

#include <cstdarg>
#include <cstring>

namespace {
FILE* logf;    // the log file, or null before it is opened or when it could not be
HWND hwnd;     // the setup window, once it exists
int silent;    // 1 after "/silent"
}  // namespace

void setup_log(const char* fmt, ...) {
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (logf) {
        fputs(line, logf);
        fputc('\n', logf);
        fflush(logf);
    }
    if (hwnd && !silent) {
        // A line whose copy cannot be made is already in the file; the window misses it.
        if (char* copy = _strdup(line)) {
            if (!PostMessageA(hwnd, WM_LOG_LINE, 0, reinterpret_cast<LPARAM>(copy))) free(copy);
        }
    }
}

void log_open() {
    char path[260];
    DWORD n = GetTempPathA(sizeof path, path);
    if (n == 0 || n >= sizeof path) path[0] = 0;
    // The name is cut short rather than the path overrun under a very long temporary folder.
    strncat(path, "tolvenar_setup.log", sizeof path - 1 - strlen(path));
    logf = fopen(path, "w");
    setup_log("setup started");
}

void log_close() {
    if (logf) fclose(logf);
    logf = nullptr;
}

void log_set_window(HWND window) { hwnd = window; }
void log_set_silent(int on) { silent = on; }

int setup_main(HINSTANCE, int) { return 0; }

// The setup log.
#include "log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "run_mode.h"

namespace {
FILE* logf;      // the log file, or null before it is opened or when it could not be
log_sink sink;       // the window's receiver, once it exists
void* sink_user;     // and what it is told each line with
}  // namespace

void setup_log(const char* fmt, ...) {
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    text_vprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (logf) {
        fputs(line, logf);
        fputc('\n', logf);
        fflush(logf);
    }
    if (sink && !unattended()) sink(sink_user, line);
}

void log_open() {
    // The temporary folder in UTF-16: its name may hold any character, and the
    // C library's own conversion of a narrow name need not follow the
    // process's code page.
    wchar_t path[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, path);
    if (n == 0 || n >= MAX_PATH) path[0] = 0;
    // The name is cut short rather than the path overrun under a very long temporary folder.
    wcsncat(path, L"tolvenar_setup.log", MAX_PATH - 1 - wcslen(path));
    logf = _wfopen(path, L"w");
    setup_log("setup started");
}

void log_close() {
    if (logf) fclose(logf);
    logf = nullptr;
}

void log_set_sink(log_sink s, void* user) {
    sink = s;
    sink_user = s ? user : nullptr;
}

void* log_sink_user() { return sink_user; }

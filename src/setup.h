// The setup driver: start-up and command line, the setup log through which
// every module reports, and the install options that an installation reads.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "util.h"

struct install_opts {
    char cd[2][520];       // sources of disc 1 and disc 2; empty means none
    char install_dir[520];
    int desktop;           // nonzero: make the desktop shortcut
    int start_menu;        // nonzero: make the Start-menu shortcut
};

// The log-line message: lParam is a heap copy of the line that the receiver frees.
const UINT WM_LOG_LINE = WM_APP + 1;
// The window's other two messages: wParam the per-mille progress (0..1000),
// and wParam the installation's result (1 or 0) when it has ended.
const UINT WM_INSTALL_PROGRESS = WM_APP + 2;
const UINT WM_INSTALL_ENDED = WM_APP + 3;

// Writes one line (at most 1023 characters) to the log file and, in window
// mode, posts it to the window. Never fails towards its caller.
void setup_log(const char* fmt, ...) PRINTF_FORMAT(1, 2);

// Opens (empties) the log file in the temporary folder and logs "setup started".
void log_open();
void log_close();
// The window that receives log lines, and the silent-mode flag.
void log_set_window(HWND window);
void log_set_silent(int on);
// The window that log lines and progress go to: null before it exists and in
// silent mode.
HWND log_window();
// 1 in silent mode, where nothing may wait for a person (no message box).
int log_silent();

// Start-up: splits the command line, picks the run mode and runs it; returns
// the process exit code.
int setup_main(HINSTANCE instance, int show);

// The setup window (window.cpp): shows o's values, runs installations on a
// worker thread and returns when the window closes (0; 1 if it could not be
// made). Stopping a running installation ends the process with exit code 1.
int run_window(HINSTANCE instance, int show, install_opts* o);
// The window's progress callback: posts the per-mille value to log_window()
// when it changes.
void on_progress(uint64_t done, uint64_t total, void* user);

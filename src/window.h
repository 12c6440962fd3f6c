// The setup window: the two disc fields, the install folder, the list of log
// lines and the progress bar; installations run on a worker thread that
// reports through posted messages.
#pragma once
#include <windows.h>

#include <cstdint>

#include "install.h"

// The log-line message: lParam is a heap copy of the line that the receiver frees.
const UINT WM_LOG_LINE = WM_APP + 1;
// The window's other two messages: wParam the per-mille progress (0..1000),
// and wParam the installation's result (1 or 0) when it has ended.
const UINT WM_INSTALL_PROGRESS = WM_APP + 2;
const UINT WM_INSTALL_ENDED = WM_APP + 3;
// The worker's question whether to read a damaged disc again: lParam points
// to the question, where the window stores the button pressed before it sets
// the question's event.
const UINT WM_DISC_UNREADABLE = WM_APP + 4;

// Shows o's values, runs installations on a worker thread and returns when
// the window closes (0; 1 if it could not be made). Stopping a running
// installation ends the process with exit code 1.
int run_window(HINSTANCE instance, int show, install_opts* o);

// The window that log lines are posted to (null: none). Setting it makes it
// the setup log's sink; the setup window sets itself when it is made and
// clears itself when it is destroyed.
void log_set_window(HWND window);

// What an installation reports to: the window, and the last per-mille
// value of progress posted to it.
struct report_target {
    HWND window = nullptr;
    int last_progress = -1;
};

// The window's progress callback (user: a report_target): posts the
// per-mille value when it differs from the last one posted; in an
// unattended run, or without a window, nothing.
void on_progress(uint64_t done, uint64_t total, void* user);

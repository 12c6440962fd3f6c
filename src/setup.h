// Start-up: the command line, the discs found before the switches apply, and
// the run mode (window, silent installation, or a stage of the uninstaller).
#pragma once
#include <windows.h>

// Splits the command line, picks the run mode and runs it; returns the
// process exit code.
int setup_main(HINSTANCE instance, int show);

// The setup log: every module below the window reports through it. Lines go
// to a file in the temporary folder and, through a sink that the window sets,
// to the window's list.
#pragma once
#include "text.h"

// Writes one line (at most 1023 characters) to the log file and hands it to
// the sink, if one is set. Never fails towards its caller.
void setup_log(const char* fmt, ...) PRINTF_FORMAT(1, 2);

// Opens (empties) the log file in the temporary folder and logs "setup started".
void log_open();
void log_close();

// Receives every line after it is in the file, with the user it was set
// with; it must copy what it keeps.
typedef void (*log_sink)(void* user, const char* line);
// Sets the sink (null: none). In an unattended run no line reaches it.
void log_set_sink(log_sink sink, void* user);
// The user the sink was set with; null without a sink.
void* log_sink_user();

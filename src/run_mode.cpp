// How this run goes.
#include "run_mode.h"

namespace {
bool unattended_run;  // set once, by start-up, before anything reads it
}  // namespace

void set_unattended(bool on) { unattended_run = on; }
bool unattended() { return unattended_run; }

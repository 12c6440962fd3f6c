// Setup window (placeholder).
#include "setup.h"

int run_window(HINSTANCE, int, install_opts*) { return 0; }
void on_progress(uint64_t, uint64_t, void*) {}

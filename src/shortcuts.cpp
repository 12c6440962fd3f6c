// Shortcuts and uninstall entry (placeholder).
#include "install.h"

void shortcut_paths(char* a, char* b) { a[0] = b[0] = 0; }
void make_link(const char*, const char*, const char*) {}
void write_uninstall_entry(const install_opts*, uint32_t) {}

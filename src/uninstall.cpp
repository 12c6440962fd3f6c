// Uninstaller (placeholder).
#include "install.h"

int uninstall_stage1(int) { return 0; }
int uninstall_stage2(const char*, int) { return 0; }
int do_uninstall(const char*) { return 1; }

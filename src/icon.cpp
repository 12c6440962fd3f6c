// Icon transplant (placeholder until the resource writer lands).
#include "install.h"

int inject_icon_ico(const char*, const unsigned char*, uint64_t) { return 0; }
int inject_icon_from_exe(const char*, const char*) { return 0; }
int inject_icon_lbm(const char*, const unsigned char*, uint64_t) { return 0; }

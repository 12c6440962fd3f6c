// Fuzzes the cdrdao table-of-contents parser.
#include <cstdint>
#include <cstdlib>

#include "formats/toc.h"
#include "rip_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rip::data_track t;
    if (!toc::first_data_track(reinterpret_cast<const char*>(data), size, &t)) return 0;
    check_track(t);
    if (t.file.size() > size) abort();
    return 0;
}

// Fuzzes the CloneCD control file parser: a track found lies on a whole raw
// sector of the .img, below 100 minutes.
#include <cstdint>
#include <cstdlib>

#include "formats/ccd.h"
#include "rip_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rip::data_track t;
    if (!ccd::first_data_track(reinterpret_cast<const char*>(data), size, &t)) return 0;
    check_track(t);
    if (t.file != "*.img" || t.sector_size != 2352 || t.offset % 2352 || t.offset > 450000ull * 2352) abort();
    return 0;
}

// Fuzzes the Alcohol descriptor parser: a name found is short, non-empty and
// has no zero byte, whatever the pointers in the input say.
#include <cstdint>
#include <cstdlib>

#include "formats/mds.h"
#include "rip_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rip::data_track t;
    if (!mds::first_data_track(data, size, &t)) return 0;
    check_track(t);
    if (t.file.empty() || t.file.size() > 259 + 2) abort();
    return 0;
}

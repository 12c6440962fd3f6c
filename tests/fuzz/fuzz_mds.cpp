// Fuzzes the Alcohol descriptor parser: a layout read keeps its promises,
// and every name in it is short, non-empty and free of zero bytes, whatever
// the pointers in the input say.
#include <cstdint>
#include <cstdlib>

#include "formats/mds.h"
#include "rip_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rip::disc_layout l;
    std::string why;
    if (!mds::read_disc(data, size, &l, &why)) {
        if (why.empty()) abort();
        return 0;
    }
    check_layout(l);
    for (const rip::piece& p : l.pieces) {
        if (p.stored && (p.file.empty() || p.file.size() > 3 * 259 || p.sectors == rip::TO_FILE_END)) abort();
        if (p.offset > (uint64_t(1) << 48)) abort();
    }
    if (l.origin_sector != 0) abort();  // a track's start is its INDEX 1
    return 0;
}

// Fuzzes the CloneCD control file parser: a layout read is one piece of the
// .img per track, each where the one before ends; printed back as a control
// file it reads as the same layout.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/ccd.h"
#include "rip_checks.h"

namespace {

std::string ccd_of(const rip::disc_layout& l) {
    std::string s = "[CloneCD]\nVersion=3\n";
    const rip::piece& last = l.pieces.back();
    if (last.sectors != rip::TO_FILE_END)
        s += "[Entry 0]\nSession=1\nPoint=0xa2\nPLBA=" + std::to_string(last.offset / 2352 + last.sectors) + "\n";
    for (size_t i = 0; i < l.pieces.size(); i++) {
        const rip::piece& p = l.pieces[i];
        const uint64_t start = p.offset / 2352;
        s += "[TRACK " + std::to_string(p.track) + "]\nMODE=" +
             (p.data_offset == 24 ? "2" : p.data_offset == 16 ? "1" : "0") + "\nINDEX 0=" + std::to_string(start) +
             "\nINDEX 1=" + std::to_string(start + (i == l.origin_piece ? l.origin_sector : 0)) + "\n";
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rip::disc_layout l;
    std::string why;
    if (!ccd::read_disc(reinterpret_cast<const char*>(data), size, &l, &why)) {
        if (why.empty()) abort();
        return 0;
    }
    check_layout(l);
    uint64_t next = 0;
    for (const rip::piece& p : l.pieces) {
        if (!p.stored || p.file != "*.img" || p.sector_size != 2352 || p.offset != next * 2352) abort();
        if (p.sectors != rip::TO_FILE_END) next += p.sectors;
        else if (&p != &l.pieces.back()) abort();
    }
    const std::string again = ccd_of(l);
    rip::disc_layout m;
    if (!ccd::read_disc(again.data(), again.size(), &m, &why) || !same_layout(l, m)) abort();
    return 0;
}

// Fuzzes the cdrdao table-of-contents parser. A layout read is printed back
// as a toc file, which must read as the same layout.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/toc.h"
#include "rip_checks.h"

namespace {

const uint64_t MAX_COUNT = uint64_t(1) << 40;

struct mode_text {
    const char* name;
    uint32_t size;
    bool data, mode2;
};
const mode_text modes[] = {
    {"AUDIO", 2352, false, false}, {"MODE0", 2336, false, false}, {"MODE2_FORM2", 2324, false, true},
    {"MODE1", 2048, true, false},  {"MODE1_RAW", 2352, true, false}, {"MODE2", 2336, true, true},
    {"MODE2_RAW", 2352, true, true},
};

// The TRACK line for a piece's sectors: the first mode (no data first)
// whose size, with or without subchannel, and layout match.
std::string track_line(const rip::piece& p, bool* audio) {
    for (const mode_text& m : modes)
        for (uint32_t sub : {0u, 96u}) {
            const uint32_t size = m.size + sub;
            const uint32_t data = m.data ? rip::user_data_offset(size, m.mode2) : rip::NO_LAYOUT;
            if (size == p.sector_size && data == p.data_offset) {
                *audio = std::string(m.name) == "AUDIO";
                return std::string("TRACK ") + m.name + (sub ? " RW_RAW" : "") + "\n";
            }
        }
    abort();  // no toc file gives another layout
}

std::string quoted(const std::string& s) {
    std::string q = "\"";
    for (char c : s) q += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return q + "\"";
}

// A toc file of the layout: a TRACK wherever the track changes (empty
// audio tracks for numbers between), FILE with its start as a plain count
// for a stored piece, ZERO for one not stored, and START at the origin.
std::string toc_of(const rip::disc_layout& l) {
    std::string s = "CD_ROM_XA\n";
    unsigned track = 0;
    bool audio = false;
    uint64_t before_origin = 0;  // sectors of the origin's track before its piece
    for (size_t i = 0; i < l.pieces.size(); i++) {
        const rip::piece& p = l.pieces[i];
        if (p.track != track) {
            while (++track < p.track) s += "TRACK AUDIO\n";
            s += track_line(p, &audio);
            before_origin = 0;
        }
        if (i == l.origin_piece && l.origin_sector == 0) s += "START\n";
        if (p.stored) {
            // #offset and start together make the offset, each no more than the parser takes.
            const uint64_t start = audio ? std::min(p.offset / 4, MAX_COUNT) : std::min(p.offset, MAX_COUNT);
            s += "FILE " + quoted(p.file) + " #" + std::to_string(p.offset - (audio ? 4 * start : start)) + " " +
                 std::to_string(start);
            s += p.sectors == rip::TO_FILE_END ? "\n" : " " + msf_text(p.sectors) + "\n";
        } else {
            s += "ZERO " + msf_text(p.sectors) + "\n";
        }
        if (i == l.origin_piece && l.origin_sector > 0)
            s += "START " + msf_text(before_origin + l.origin_sector) + "\n";
        if (i < l.origin_piece && p.sectors != rip::TO_FILE_END) before_origin += p.sectors;
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rip::disc_layout l;
    std::string why;
    if (!toc::read_disc(reinterpret_cast<const char*>(data), size, &l, &why)) {
        if (why.empty()) abort();
        return 0;
    }
    check_layout(l);
    const std::string again = toc_of(l);
    rip::disc_layout m;
    if (!toc::read_disc(again.data(), again.size(), &m, &why) || !same_layout(l, m)) abort();
    return 0;
}

// Fuzzes the cue sheet reading: the layout, the image name and the path
// built from it. A layout read is printed back as a sheet, which must read
// as the same layout. The input is the sheet's text; a sheet path is taken
// from its first bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/cuesheet.h"
#include "rip_checks.h"

namespace {

const char* mode_name(const rip::piece& p) {
    const struct {
        uint32_t size, data;
        const char* name;
    } modes[] = {{2352, rip::NO_LAYOUT, "AUDIO"}, {2448, rip::NO_LAYOUT, "CDG"}, {2324, rip::NO_LAYOUT, "MODE2/2324"},
                 {2048, 0, "MODE1/2048"},         {2352, 16, "MODE1/2352"},       {2352, 24, "MODE2/2352"},
                 {2336, 8, "MODE2/2336"}};
    for (const auto& m : modes)
        if (m.size == p.sector_size && m.data == p.data_offset) return m.name;
    abort();  // no sheet gives another layout
}

// A sheet of the layout: a FILE where a piece starts its file (offset 0), a
// TRACK for each track with the gaps of its track as PREGAP and POSTGAP,
// INDEX positions counted in the file. A track in two stored pieces starts
// with its INDEX 00 in the first and has its INDEX 01 in the second.
std::string sheet_of(const rip::disc_layout& l) {
    std::string s;
    uint64_t at = 0;  // frames into the file
    unsigned last_track = 0;
    for (size_t i = 0; i < l.pieces.size(); i++) {
        const rip::piece& p = l.pieces[i];
        if (!p.stored) continue;
        if (p.offset == 0) {
            // A name with a quote came as a word without spaces, and goes back as one.
            const bool bare = p.file.find('"') != std::string::npos;
            s += "FILE " + (bare ? p.file : "\"" + p.file + "\"") + " BINARY\n";
            at = 0;
        }
        const bool continued = p.track == last_track;
        last_track = p.track;
        size_t next = i + 1;
        while (next < l.pieces.size() && !l.pieces[next].stored) next++;
        const bool goes_on = next < l.pieces.size() && l.pieces[next].track == p.track;
        if (!continued) {
            s += "TRACK " + std::to_string(p.track) + " " + mode_name(p) + "\n";
            if (i > 0 && !l.pieces[i - 1].stored && l.pieces[i - 1].track == p.track)
                s += "PREGAP " + msf_text(l.pieces[i - 1].sectors) + "\n";
        }
        const uint64_t into = i == l.origin_piece ? l.origin_sector : 0;
        if (goes_on) {
            if (!continued) s += "INDEX 00 " + msf_text(at) + "\n";
        } else {
            if (into && !continued) s += "INDEX 00 " + msf_text(at) + "\n";
            s += "INDEX 01 " + msf_text(at + into) + "\n";
        }
        if (i + 1 < l.pieces.size() && !l.pieces[i + 1].stored && l.pieces[i + 1].track == p.track)
            s += "POSTGAP " + msf_text(l.pieces[i + 1].sectors) + "\n";
        if (p.sectors != rip::TO_FILE_END) at += p.sectors;
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    rip::disc_layout l;
    std::string why;
    if (cue::read_disc(text, size, &l, &why)) {
        check_layout(l);
        const std::string again = sheet_of(l);
        rip::disc_layout m;
        if (!cue::read_disc(again.data(), again.size(), &m, &why) || !same_layout(l, m)) abort();
    } else if (why.empty()) {
        abort();
    }
    std::string name;
    if (!cue::image_name(text, size, &name)) return 0;
    if (name.find('"') != std::string::npos || name.find('\0') != std::string::npos) abort();
    std::string sheet(text, size < 600 ? size : 600);
    std::string path = cue::image_path(sheet, name);
    if (path.size() > 519) abort();
    return 0;
}

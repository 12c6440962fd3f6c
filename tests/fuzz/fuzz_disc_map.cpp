// Fuzzes placing a layout: the input makes a layout of up to 12 small pieces
// (three files of the sizes it gives and a fourth that is not there), and
// the map place() makes is compared, sector by sector, with what each piece
// says when walked one sector at a time.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "formats/disc_map.h"

namespace {

struct input {
    const uint8_t* p;
    size_t left;
    uint8_t byte() { return left ? (left--, *p++) : 0; }
};

// What one volume sector is, as the pieces say it.
struct expect {
    rip::held what;
    std::string file;
    uint64_t offset;
    const rip::piece* piece;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    input in{data, size};
    const uint32_t sizes[] = {2048, 2336, 2352, 2448};
    rip::disc_layout l;
    const size_t n = in.byte() % 12 + 1;
    l.origin_piece = in.byte() % (n + 1);
    l.origin_sector = in.byte() % 40;
    uint64_t file_size[4];
    for (uint64_t& s : file_size) {
        s = in.byte();
        s |= uint64_t(in.byte()) << 8;
        s = (s | uint64_t(in.byte()) << 16) & 0x3FFFF;
    }
    for (size_t i = 0; i < n; i++) {
        const uint8_t f = in.byte();
        rip::piece p;
        p.stored = f & 1;
        p.file = p.stored ? "f" + std::to_string(f >> 2 & 3) : "";
        p.sector_size = sizes[f >> 4 & 3];
        const unsigned layout = f >> 6;
        p.data_offset = layout == 1 || layout == 2 ? rip::user_data_offset(p.sector_size, layout == 2) : rip::NO_LAYOUT;
        p.track = in.byte() % 99 + 1;
        p.sectors = f & 2 ? rip::TO_FILE_END : in.byte();
        if (p.stored) {
            p.offset = uint64_t(in.byte()) * 16;
            p.offset += uint64_t(in.byte()) * 4096;
        }
        l.pieces.push_back(p);
    }

    rip::disc_map map;
    std::string why;
    const bool placed = rip::place(
        l,
        [&](const std::string& file, uint64_t* s, std::string* w) {
            if (file == "f3") {
                *w = "names f3, which is not there";
                return false;
            }
            *s = file_size[file[1] - '0'];
            return true;
        },
        &map, &why);

    // The model: every sector from the origin on, one at a time.
    bool fails = l.origin_piece >= l.pieces.size();
    std::vector<expect> sectors;
    for (size_t i = l.origin_piece; i < l.pieces.size() && !fails; i++) {
        const rip::piece& p = l.pieces[i];
        // A missing file fails the origin's piece; later, it holds no sector,
        // and one of open length ends the map.
        const bool missing = p.stored && p.file == "f3";
        if (missing && i == l.origin_piece) fails = true;
        if (!p.stored && p.sectors == rip::TO_FILE_END) fails = true;
        if (fails || (missing && p.sectors == rip::TO_FILE_END)) break;
        const uint64_t need = p.data_offset == rip::NO_LAYOUT ? p.sector_size : p.data_offset + 2048u;
        uint64_t whole = 0;
        if (p.stored && !missing)
            while (p.offset + whole * p.sector_size + need <= file_size[p.file[1] - '0']) whole++;
        const uint64_t count = p.sectors == rip::TO_FILE_END ? whole : p.sectors;
        const uint64_t skip = i == l.origin_piece ? l.origin_sector : 0;
        if (i == l.origin_piece && skip >= count && !(count == 0 && skip == 0)) fails = true;
        for (uint64_t j = skip; j < count && !fails; j++) {
            const rip::held what = !p.stored   ? rip::held::not_stored
                                   : j < whole ? rip::held::stored
                                               : rip::held::past_the_end;
            sectors.push_back({what, p.file, p.stored ? p.offset + j * p.sector_size : 0, &p});
        }
    }
    if (placed == fails || (!placed && why.empty())) abort();
    if (!placed) return 0;

    if (map.sectors() != sectors.size() || map.find(sectors.size())) abort();
    uint64_t next = 0;
    for (const rip::run& r : map.runs) {
        if (r.first != next || r.count == 0) abort();
        next += r.count;
    }
    for (uint64_t v = 0; v < sectors.size(); v++) {
        const rip::run* r = map.find(v);
        const expect& e = sectors[v];
        if (!r || r->what != e.what || r->track != e.piece->track || r->sector_size != e.piece->sector_size ||
            r->data_offset != e.piece->data_offset)
            abort();
        if (e.what != rip::held::not_stored &&
            (map.files[r->file] != e.file || r->offset + (v - r->first) * r->sector_size != e.offset))
            abort();
    }
    return 0;
}

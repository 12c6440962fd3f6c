// The rips the disc maker writes (mkdisc.py rip all), for the parser tests:
// the folder is in TLV_RIPS, set by CTest. Bytes are returned exactly sized,
// so that a read past the end is caught by AddressSanitizer. And layouts and
// placed sectors as short texts that a test compares.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "formats/disc_map.h"

inline std::vector<uint8_t> rip_file(const std::string& name) {
    const char* dir = getenv("TLV_RIPS");
    if (!dir) return {};
    std::ifstream f(std::string(dir) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline std::string rip_text(const std::string& name) {
    std::vector<uint8_t> b = rip_file(name);
    return std::string(b.begin(), b.end());
}

// The folder is set: skip a test that reads rips when run outside CTest.
#define REQUIRE_RIPS() \
    if (!getenv("TLV_RIPS")) GTEST_SKIP() << "TLV_RIPS is not set"

// "t2 gap x150" for a piece not stored; "t1 d.bin@0 x300 2352/24" for a
// stored one ("x*": to its file's end, "/-": no user data).
inline std::string piece_text(const rip::piece& p) {
    std::string s = "t" + std::to_string(p.track) + " ";
    s += p.stored ? p.file + "@" + std::to_string(p.offset) : "gap";
    s += " x" + (p.sectors == rip::TO_FILE_END ? std::string("*") : std::to_string(p.sectors));
    if (p.stored)
        s += " " + std::to_string(p.sector_size) + "/" +
             (p.data_offset == rip::NO_LAYOUT ? std::string("-") : std::to_string(p.data_offset));
    return s;
}

// The pieces joined by " | ", then "; origin PIECE+SECTOR".
inline std::string layout_text(const rip::disc_layout& l) {
    std::string s;
    for (const rip::piece& p : l.pieces) s += (s.empty() ? "" : " | ") + piece_text(p);
    return s + "; origin " + std::to_string(l.origin_piece) + "+" + std::to_string(l.origin_sector);
}

// A parser's answer: the layout, or "! " and the reason.
inline std::string answer(bool ok, const rip::disc_layout& l, const std::string& why) {
    return ok ? layout_text(l) : "! " + why;
}

// Places a layout with the given file sizes (a file not listed is not there).
inline bool place_sized(const rip::disc_layout& l, const std::map<std::string, uint64_t>& sizes, rip::disc_map* map,
                        std::string* why) {
    return rip::place(
        l,
        [&](const std::string& file, uint64_t* size, std::string* w) {
            auto it = sizes.find(file);
            if (it == sizes.end()) {
                *w = "names " + file + ", which is not there";
                return false;
            }
            *size = it->second;
            return true;
        },
        map, why);
}

// Where a volume sector is read: "file@byte+data" for a stored sector,
// "not stored", "past the end", or "none" beyond the map.
inline std::string sector_at(const rip::disc_map& map, uint64_t sector) {
    const rip::run* r = map.find(sector);
    if (!r) return "none";
    if (r->what == rip::held::not_stored) return "not stored";
    if (r->what == rip::held::past_the_end) return "past the end";
    return map.files[r->file] + "@" + std::to_string(r->offset + (sector - r->first) * r->sector_size) + "+" +
           (r->data_offset == rip::NO_LAYOUT ? std::string("-") : std::to_string(r->data_offset));
}

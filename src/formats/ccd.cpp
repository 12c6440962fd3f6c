// CloneCD control files: the first data track.
#include "formats/ccd.h"

#include <bitset>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "formats/descriptor_text.h"

namespace ccd {

namespace {

const uint32_t RAW_SECTOR = 2352;
const uint32_t MAX_SECTORS = 100 * 60 * 75;  // 100 minutes; more is no CD

std::string trimmed(const char* p, const char* end) {
    while (p < end && isspace(static_cast<unsigned char>(*p))) p++;
    while (end > p && isspace(static_cast<unsigned char>(end[-1]))) end--;
    return std::string(p, end);
}

std::string upper(std::string s) {
    for (char& c : s) c = char(toupper(static_cast<unsigned char>(c)));
    return s;
}

// One [TRACK n] section as far as it has been read.
struct track {
    bool open = false;
    std::string mode, index1;
};

// The data track's place, if this finished section describes one.
bool take(const track& t, rip::data_track* out) {
    if (!t.open || (t.mode != "1" && t.mode != "2")) return false;
    uint64_t sector;
    if (!rip::decimal(t.index1, 9, MAX_SECTORS, &sector)) return false;
    out->file = "*.img";
    out->offset = sector * RAW_SECTOR;
    out->sector_size = RAW_SECTOR;
    out->data_offset = rip::user_data_offset(RAW_SECTOR, t.mode == "2");
    return true;
}

}  // namespace

bool first_data_track(const char* text, size_t len, rip::data_track* out) {
    const char* end = text + strnlen(text, len);
    bool clonecd = false;
    std::bitset<100> seen;
    track t;
    for (const char* line = text; line < end;) {
        const char* eol = line;
        while (eol < end && *eol != '\n' && *eol != '\r') eol++;
        std::string l = trimmed(line, eol);
        line = eol < end ? eol + 1 : end;
        if (!l.empty() && l[0] == '[') {
            // A data track ends with its section; a broken one ends the search.
            if (t.open && (t.mode == "1" || t.mode == "2")) return clonecd && take(t, out);
            t = track();
            size_t close = l.find(']');
            std::string name = upper(trimmed(l.data() + 1, l.data() + (close == std::string::npos ? l.size() : close)));
            if (name == "CLONECD") clonecd = true;
            if (name.compare(0, 6, "TRACK ") == 0) {
                uint64_t n;
                if (!rip::decimal(trimmed(name.data() + 6, name.data() + name.size()), 9, 99, &n) || n == 0 || seen[n])
                    return false;
                seen[n] = true;
                t.open = true;
            }
            continue;
        }
        size_t eq = l.find('=');
        if (!t.open || eq == std::string::npos) continue;
        std::string key = upper(trimmed(l.data(), l.data() + eq));
        std::string value = trimmed(l.data() + eq + 1, l.data() + l.size());
        if (key == "MODE") t.mode = value;
        else if (key == "INDEX 1") t.index1 = value;
    }
    return clonecd && take(t, out);
}

}  // namespace ccd

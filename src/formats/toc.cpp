// cdrdao table-of-contents files: the first data track.
#include "formats/toc.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/descriptor_text.h"

namespace toc {

namespace {

const uint64_t MAX_FRAMES = 100 * 60 * 75;  // 100 minutes; more is no CD
const uint64_t MAX_BYTE_OFFSET = uint64_t(1) << 40;

struct token {
    std::string text;
    bool quoted;
};

// Words, quoted strings (backslash takes the next character literally) and
// braces; comments dropped.
std::vector<token> tokens(const char* p, const char* end) {
    std::vector<token> out;
    while (p < end) {
        char c = *p;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            p++;
        } else if (c == '/' && p + 1 < end && p[1] == '/') {
            while (p < end && *p != '\n') p++;
        } else if (c == '"') {
            std::string s;
            for (p++; p < end && *p != '"'; p++) {
                if (*p == '\\' && p + 1 < end) p++;
                s.push_back(*p);
            }
            if (p < end) p++;
            out.push_back({s, true});
        } else if (c == '{' || c == '}') {
            out.push_back({std::string(1, c), false});
            p++;
        } else {
            const char* start = p;
            while (p < end && !strchr(" \t\r\n\"{}", *p) && !(*p == '/' && p + 1 < end && p[1] == '/')) p++;
            out.push_back({std::string(start, p), false});
        }
    }
    return out;
}

// A position or length: "mm:ss:ff" in frames, or a plain number.
bool is_time(const token& t) {
    return !t.quoted && !t.text.empty() && t.text.find_first_not_of("0123456789:") == std::string::npos;
}

// A position or length in frames: mm:ss:ff, or 0 (a sample count other than
// 0 does not fall on a sector of a data track).
bool frames(const token& t, uint64_t* f) {
    const std::string& s = t.text;
    if (s.find(':') == std::string::npos) return s == "0" && (*f = 0, true);
    return rip::msf(s, 12, 99, f) && *f < MAX_FRAMES;
}

struct mode_info {
    const char* name;
    uint32_t sector_size;
    bool data, mode2;
};
const mode_info modes[] = {
    {"AUDIO", 2352, false, false},       {"MODE0", 2336, false, false},
    {"MODE1", 2048, true, false},        {"MODE1_RAW", 2352, true, false},
    {"MODE2", 2336, true, true},         {"MODE2_FORM1", 2048, true, true},
    {"MODE2_FORM2", 2324, false, true},  {"MODE2_FORM_MIX", 2336, true, true},
    {"MODE2_RAW", 2352, true, true},
};

// One stretch of the data track's sectors.
struct piece {
    uint64_t start, length;  // frames within the track
    bool in_file;
    std::string file;
    uint64_t byte_offset;  // of the stretch's first sector in the file
};

}  // namespace

bool first_data_track(const char* text, size_t len, rip::data_track* out) {
    const std::vector<token> t = tokens(text, text + strnlen(text, len));
    const mode_info* mode = nullptr;
    uint32_t sector_size = 0;
    std::vector<piece> pieces;
    uint64_t length = 0, index1 = 0;  // the track so far, and where INDEX 1 is
    bool open = false;       // inside the data track
    bool unbounded = false;  // its last piece runs to its file's end
    size_t i = 0;
    auto at = [&](size_t k) -> const token* { return k < t.size() ? &t[k] : nullptr; };
    while (i < t.size()) {
        const token& w = t[i++];
        if (w.quoted) continue;
        if (w.text == "{") {  // a CD_TEXT block, with blocks inside
            for (int depth = 1; i < t.size() && depth > 0; i++)
                if (!t[i].quoted) depth += t[i].text == "{" ? 1 : t[i].text == "}" ? -1 : 0;
        } else if (w.text == "TRACK") {
            if (open) break;
            const token* m = at(i);
            if (!m) return false;
            i++;
            const mode_info* found = nullptr;
            for (const mode_info& x : modes)
                if (m->text == x.name) found = &x;
            if (!found) return false;
            uint32_t extra = 0;
            if (at(i) && (at(i)->text == "RW" || at(i)->text == "RW_RAW")) extra = 96, i++;
            if (found->data) {
                mode = found;
                sector_size = found->sector_size + extra;
                open = true;
            }
        } else if (!open) {
            continue;
        } else if (unbounded && (w.text == "ZERO" || w.text == "SILENCE" || w.text == "FILE" ||
                                 w.text == "AUDIOFILE" || w.text == "DATAFILE" || w.text == "PREGAP")) {
            return false;  // nothing can follow a piece that runs to its file's end
        } else if (w.text == "ZERO" || w.text == "SILENCE") {
            // ZERO may name a mode and a subchannel mode before its length.
            while (at(i) && !at(i)->quoted && !is_time(*at(i)) && at(i)->text != "TRACK") i++;
            uint64_t f;
            if (!at(i) || !frames(t[i++], &f)) return false;
            pieces.push_back({length, f, false, "", 0});
            length += f;
        } else if (w.text == "FILE" || w.text == "AUDIOFILE" || w.text == "DATAFILE") {
            if (!at(i) || !at(i)->quoted) return false;
            piece p{length, 0, true, t[i++].text, 0};
            if (at(i) && !at(i)->quoted && at(i)->text[0] == '#' &&
                !rip::decimal(t[i++].text.substr(1), 12, MAX_BYTE_OFFSET, &p.byte_offset))
                return false;
            uint64_t f;
            if (w.text != "DATAFILE") {  // FILE has a start, in the track's own sectors
                if (!at(i) || !is_time(*at(i)) || !frames(t[i++], &f)) return false;
                p.byte_offset += f * sector_size;
            }
            if (at(i) && is_time(*at(i))) {
                if (!frames(t[i++], &p.length)) return false;
                length += p.length;
            } else {
                unbounded = true;
            }
            pieces.push_back(p);
        } else if (w.text == "START" || w.text == "PREGAP") {
            uint64_t f = length;
            if (at(i) && is_time(*at(i))) {
                if (!frames(t[i++], &f)) return false;
            } else if (w.text == "PREGAP" || unbounded) {
                return false;
            }
            if (w.text == "PREGAP") {
                pieces.push_back({length, f, false, "", 0});
                length += f;
                index1 = length;
            } else {
                index1 = f;
            }
        }
    }
    if (!open) return false;
    for (const piece& p : pieces) {
        const bool last = &p == &pieces.back();
        if (index1 < p.start || (!(last && unbounded) && index1 - p.start >= p.length)) continue;
        if (!p.in_file) return false;
        out->file = p.file;
        out->offset = p.byte_offset + (index1 - p.start) * sector_size;
        out->sector_size = sector_size;
        out->data_offset = rip::user_data_offset(sector_size, mode->mode2);
        return out->data_offset != rip::NO_LAYOUT;
    }
    return false;
}

}  // namespace toc

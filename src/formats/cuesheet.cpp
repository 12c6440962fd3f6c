// The image file that a CD cue sheet names.
#include "formats/cuesheet.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "formats/descriptor_text.h"

namespace cue {

namespace {
const size_t MAX_PATH_CHARS = 519;
}

bool image_name(const char* text, size_t len, std::string* name) {
    // The sheet is one C string: text after a zero byte is not looked at.
    const char* end = text + strnlen(text, len);
    static const char keyword[] = "FILE";
    const char* kw = std::search(text, end, keyword, keyword + 4);
    if (kw == end) return false;
    const char* open = std::find(kw, end, '"');
    if (open == end) return false;
    const char* close = std::find(open + 1, end, '"');
    if (close == end) return false;
    name->assign(open + 1, close);
    return true;
}

namespace {

struct mode_layout {
    const char* name;
    uint32_t sector_size;
    bool data, mode2;
};
const mode_layout modes[] = {
    {"AUDIO", 2352, false, false},      {"CDG", 2448, false, false},
    {"MODE1/2048", 2048, true, false},  {"MODE1/2352", 2352, true, false},
    {"MODE2/2048", 2048, true, true},   {"MODE2/2336", 2336, true, true},
    {"MODE2/2352", 2352, true, true},   {"CDI/2336", 2336, true, true},
    {"CDI/2352", 2352, true, true},
};

// The words of one line; a double-quoted word may hold spaces. An open quote
// runs to the line's end.
std::vector<std::string> words(const char* p, const char* end) {
    std::vector<std::string> out;
    while (p < end) {
        while (p < end && (*p == ' ' || *p == '\t')) p++;
        if (p == end) break;
        const char* start = p;
        if (*p == '"') {
            const char* close = std::find(p + 1, end, '"');
            out.emplace_back(p + 1, close);
            p = close == end ? end : close + 1;
        } else {
            while (p < end && *p != ' ' && *p != '\t') p++;
            out.emplace_back(start, p);
        }
    }
    return out;
}

struct track_span {
    uint64_t start;  // first index, in frames from the file's start
    uint32_t sector_size;
};

}  // namespace

bool first_data_track(const char* text, size_t len, rip::data_track* out) {
    const char* end = text + strnlen(text, len);
    std::string file;
    bool have_file = false, in_track = false, started = false;
    uint64_t last_number = 0;
    const mode_layout* mode = nullptr;
    uint64_t start = 0;
    std::vector<track_span> before;  // earlier tracks of the same file
    for (const char* line = text; line < end;) {
        const char* eol = line;
        while (eol < end && *eol != '\n' && *eol != '\r') eol++;
        std::vector<std::string> w = words(line, eol);
        line = eol < end ? eol + 1 : end;
        if (w.empty()) continue;
        if (rip::same_nocase(w[0], "FILE")) {
            if (w.size() < 2) return false;
            file = w[1];
            have_file = true;
            in_track = false;
            before.clear();
        } else if (rip::same_nocase(w[0], "TRACK")) {
            uint64_t n;
            if (!have_file || w.size() < 3 || !rip::decimal(w[1], 3, 99, &n) || n == 0 || n <= last_number)
                return false;
            if (in_track) {
                if (!started) return false;  // a track in this file with no index
                before.push_back({start, mode->sector_size});
            }
            last_number = n;
            mode = nullptr;
            for (const mode_layout& m : modes)
                if (rip::same_nocase(w[2], m.name)) mode = &m;
            // Any other mode (MODE2/2324, say) holds no 2048-byte sectors we read.
            if (!mode) return false;
            in_track = true;
            started = false;
        } else if (rip::same_nocase(w[0], "INDEX")) {
            uint64_t n, at;
            if (!in_track || w.size() < 3 || !rip::decimal(w[1], 3, 99, &n) || !rip::msf(w[2], 3, 999, &at))
                return false;
            uint64_t floor = started ? start : before.empty() ? 0 : before.back().start;
            if (at < floor) return false;
            if (!started) start = at;
            started = true;
            if (n == 1 && mode->data) {
                // A track's sectors run from its first index (from the file's
                // start for the file's first track) to the next track's.
                uint64_t pos = 0, from = 0;
                for (size_t i = 0; i < before.size(); i++) {
                    uint64_t next = i + 1 < before.size() ? before[i + 1].start : start;
                    pos += (next - from) * before[i].sector_size;
                    from = next;
                }
                out->file = file;
                out->offset = pos + (at - from) * mode->sector_size;
                out->sector_size = mode->sector_size;
                out->data_offset = rip::user_data_offset(mode->sector_size, mode->mode2);
                return true;
            }
        }
    }
    return false;
}

std::string image_path(const std::string& sheet_path, const std::string& name) {
    std::string path;
    if (name.find(':') != std::string::npos) {
        path = name;
    } else {
        size_t slash = sheet_path.rfind('\\');
        // One leading separator means the sheet's own folder, not the root of a drive.
        const bool leading = !name.empty() && (name[0] == '\\' || name[0] == '/') &&
                             !(name.size() > 1 && (name[1] == '\\' || name[1] == '/'));
        path = (slash == std::string::npos ? std::string() : sheet_path.substr(0, slash + 1)) +
               name.substr(leading ? 1 : 0);
    }
    if (path.size() > MAX_PATH_CHARS) path.resize(MAX_PATH_CHARS);
    return path;
}

}  // namespace cue

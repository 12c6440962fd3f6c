// CD cue sheets: the sectors of the first session, and the image a sheet names.
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
    {"MODE2/2048", 2048, true, true},   {"MODE2/2324", 2324, false, true},
    {"MODE2/2336", 2336, true, true},   {"MODE2/2352", 2352, true, true},
    {"CDI/2336", 2336, true, true},     {"CDI/2352", 2352, true, true},
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

// A track as far as the sheet has described it. Positions are frames (one
// a sector) from the start of the track's file.
struct track {
    unsigned number = 0;
    const mode_layout* mode = nullptr;
    size_t line = 0;  // of its TRACK
    bool first_in_file = false;
    bool indexed = false;
    unsigned last_index = 0;
    uint64_t first = 0, last = 0;  // its first and latest INDEX
    bool has_index1 = false;
    uint64_t index1 = 0;
    bool continued = false;  // its INDEX 00 was in the file before
    uint64_t pregap = 0, postgap = 0;
};

// Reads a sheet line by line into a layout. A track's pieces are added when
// its end is known: at the next track's first INDEX, the next FILE or the
// end of the sheet.
class sheet_reader {
public:
    sheet_reader(rip::disc_layout* out, std::string* why) : out_(out), why_(why) {}

    bool line(const std::vector<std::string>& w, size_t number) {
        if (w.empty()) return true;
        const std::string& kw = w[0];
        if (rip::same_nocase(kw, "FILE")) return file(w, number);
        if (rip::same_nocase(kw, "TRACK")) return track_line(w, number);
        if (rip::same_nocase(kw, "INDEX")) return index(w, number);
        if (rip::same_nocase(kw, "PREGAP") || rip::same_nocase(kw, "POSTGAP")) return gap(w, number);
        return true;  // REM, FLAGS, TITLE and the like say nothing of sectors
    }

    bool finish() {
        if (in_track_ && !t_.has_index1) return no_index1();
        if (!end_file()) return false;
        if (!found_) return rip::fail(why_, "has no data track (an audio CD?)");
        return true;
    }

private:
    bool fail(size_t line, const std::string& what) {
        return rip::damaged_at(why_, line, what);
    }

    bool file(const std::vector<std::string>& w, size_t number) {
        if (w.size() < 2 || w[1].empty()) return fail(number, "FILE names no file");
        if (!end_file()) return false;
        file_ = w[1];
        have_file_ = true;
        file_bytes_ = 0;
        return true;
    }

    bool track_line(const std::vector<std::string>& w, size_t number) {
        if (!have_file_) return fail(number, "TRACK comes before any FILE");
        uint64_t n;
        if (w.size() < 3) return fail(number, "TRACK needs a number and a mode");
        if (!rip::decimal(w[1], 3, 99, &n) || n == 0) return fail(number, "track number " + w[1] + " is not 1 to 99");
        if (n <= last_number_)
            return fail(number, "track " + std::to_string(n) + " follows track " + std::to_string(last_number_));
        const mode_layout* mode = nullptr;
        for (const mode_layout& m : modes)
            if (rip::same_nocase(w[2], m.name)) mode = &m;
        if (!mode) return fail(number, w[2] + " is not a track mode this setup reads");
        if (in_track_) {
            if (!t_.has_index1) return no_index1();
            prev_ = t_;
            has_prev_ = true;
        }
        t_ = track();
        t_.number = unsigned(n);
        t_.mode = mode;
        t_.line = number;
        t_.first_in_file = !has_prev_;
        in_track_ = true;
        last_number_ = unsigned(n);
        return true;
    }

    bool index(const std::vector<std::string>& w, size_t number) {
        if (!in_track_) return fail(number, "INDEX comes before any TRACK");
        uint64_t n, at;
        if (w.size() < 3) return fail(number, "INDEX needs a number and a position");
        if (!rip::decimal(w[1], 3, 99, &n)) return fail(number, "INDEX " + w[1] + " is not 0 to 99");
        if (!rip::msf(w[2], 3, 99, &at)) return fail(number, w[2] + " is not a position (mm:ss:ff)");
        if (!t_.indexed) {
            if (n > 1) return fail(number, "track " + std::to_string(t_.number) + " starts with INDEX " + w[1]);
            // The track before in this file ends where this one starts.
            if (has_prev_) {
                if (at <= prev_.last)
                    return fail(number, "track " + std::to_string(t_.number) + " does not start after track " +
                                            std::to_string(prev_.number));
                if (!close(prev_, at)) return false;
                has_prev_ = false;
            }
            t_.first = at;
        } else {
            if (n <= t_.last_index) return fail(number, "INDEX " + w[1] + " does not follow the INDEX before");
            if (at < t_.last) return fail(number, "INDEX " + w[1] + " lies before the INDEX before");
        }
        if (n == 1) {
            t_.has_index1 = true;
            t_.index1 = at;
        }
        t_.indexed = true;
        t_.last_index = unsigned(n);
        t_.last = at;
        return true;
    }

    bool gap(const std::vector<std::string>& w, size_t number) {
        if (!in_track_) return fail(number, w[0] + " comes before any TRACK");
        uint64_t frames;
        if (w.size() < 2 || !rip::msf(w[1], 3, 99, &frames))
            return fail(number, w[0] + " needs a length (mm:ss:ff)");
        const bool pregap = rip::same_nocase(w[0], "PREGAP");
        if (pregap && t_.continued)
            return fail(number, "PREGAP of track " + std::to_string(t_.number) + " comes after its INDEX 00");
        (pregap ? t_.pregap : t_.postgap) = frames;
        return true;
    }

    bool no_index1() {
        return fail(t_.line, "track " + std::to_string(t_.number) + " has no INDEX 01");
    }

    // The open track runs to its file's end. A track whose INDEX 01 is still
    // to come goes on in the next file, which must hold it: rippers that
    // write a file per track may leave each track's gap at the end of the
    // file before.
    bool end_file() {
        if (!in_track_) return true;
        if (t_.has_index1) {
            in_track_ = false;
            return close(t_, rip::TO_FILE_END);
        }
        if (!t_.indexed || t_.continued) return no_index1();
        if (!close(t_, rip::TO_FILE_END, false)) return false;
        t_.continued = true;
        t_.first_in_file = true;
        t_.first = t_.last = 0;
        t_.pregap = 0;
        return true;
    }

    // Adds a track's pieces: its pregap, its sectors up to end (a position
    // in its file, or TO_FILE_END), and when whole, its postgap. A track that
    // goes on in the next file is not whole here.
    bool close(const track& t, uint64_t end, bool whole = true) {
        const uint64_t start = t.first_in_file ? 0 : t.first;
        rip::piece p;
        p.track = t.number;
        p.sector_size = t.mode->sector_size;
        p.data_offset = t.mode->data ? rip::user_data_offset(p.sector_size, t.mode->mode2) : rip::NO_LAYOUT;
        p.stored = false;
        p.sectors = t.pregap;
        if (!rip::add_piece(out_, p, why_)) return false;
        p.stored = true;
        p.file = file_;
        p.offset = file_bytes_;
        p.sectors = end == rip::TO_FILE_END ? end : end - start;
        if (!rip::add_piece(out_, p, why_)) return false;
        if (!whole) return true;
        if (t.mode->data && !found_) {
            found_ = true;
            out_->origin_piece = out_->pieces.size() - 1;
            out_->origin_sector = t.index1 - start;
        }
        if (end != rip::TO_FILE_END) file_bytes_ += (end - start) * t.mode->sector_size;
        p.stored = false;
        p.file.clear();
        p.offset = 0;
        p.sectors = t.postgap;
        return rip::add_piece(out_, p, why_);
    }

    rip::disc_layout* out_;
    std::string* why_;
    std::string file_;
    bool have_file_ = false;
    uint64_t file_bytes_ = 0;  // where the next track's sectors start in the file
    bool in_track_ = false, has_prev_ = false, found_ = false;
    track t_, prev_;  // the track being read, and the one before it in its file until its end is known
    unsigned last_number_ = 0;
};

}  // namespace

bool read_disc(const char* text, size_t len, rip::disc_layout* out, std::string* why) {
    *out = rip::disc_layout();
    sheet_reader reader(out, why);
    return rip::for_each_line(text, len, [&](const char* begin, const char* end, size_t number) {
               return reader.line(words(begin, end), number);
           }) &&
           reader.finish();
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

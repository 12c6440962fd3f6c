// CloneCD control files: the tracks of the first session in the .img.
#include "formats/ccd.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/descriptor_text.h"

namespace ccd {

namespace {

const uint32_t RAW_SECTOR = 2352;
const size_t MAX_ENTRIES = 1000;  // a CD's table of contents has a few hundred at most

std::string trimmed(const char* p, const char* end) {
    while (p < end && isspace(static_cast<unsigned char>(*p))) p++;
    while (end > p && isspace(static_cast<unsigned char>(end[-1]))) end--;
    return std::string(p, end);
}

std::string upper(std::string s) {
    for (char& c : s) c = char(toupper(static_cast<unsigned char>(c)));
    return s;
}

struct track {
    unsigned number = 0;
    size_t line = 0;  // of its section
    std::string mode;
    bool has_index0 = false, has_index1 = false;
    uint64_t index0 = 0, index1 = 0;
};

// A table-of-contents entry: its session, its point (a track, or 0xA2 for
// the lead-out) and that point's address.
struct entry {
    std::string session, point, plba;
};

// A point, written "0xa2" or "162".
bool point_value(const std::string& s, uint64_t* v) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        if (s.size() > 4) return false;
        *v = 0;
        for (size_t i = 2; i < s.size(); i++) {
            const int c = tolower(static_cast<unsigned char>(s[i]));
            if (!isxdigit(c)) return false;
            *v = *v * 16 + uint64_t(isdigit(c) ? c - '0' : c - 'a' + 10);
        }
        return true;
    }
    return rip::decimal(s, 3, 255, v);
}

class ccd_reader {
public:
    ccd_reader(rip::disc_layout* out, std::string* why) : out_(out), why_(why) {}

    bool line(const std::string& l, size_t number) {
        if (!l.empty() && l[0] == '[') return section(l, number);
        const size_t eq = l.find('=');
        if (eq == std::string::npos) return true;
        const std::string key = upper(trimmed(l.data(), l.data() + eq));
        const std::string value = trimmed(l.data() + eq + 1, l.data() + l.size());
        if (in_entry_) {
            if (key == "SESSION") entries_.back().session = value;
            else if (key == "POINT") entries_.back().point = value;
            else if (key == "PLBA") entries_.back().plba = value;
        } else if (in_track_) {
            track& t = tracks_.back();
            if (key == "MODE") t.mode = value;
            else if (key == "INDEX 0") return index(value, number, &t.has_index0, &t.index0);
            else if (key == "INDEX 1") return index(value, number, &t.has_index1, &t.index1);
        }
        return true;
    }

    bool finish() {
        if (!clonecd_) return rip::fail(why_, "is not a CloneCD control file: it has no [CloneCD] section");
        // The first session's tracks, in track order.
        std::vector<track> session;
        for (const track& t : tracks_)
            if (session_of(t.number) == 1) session.push_back(t);
        std::sort(session.begin(), session.end(), [](const track& a, const track& b) { return a.number < b.number; });
        uint64_t lead_out = rip::TO_FILE_END;
        for (const entry& e : entries_) {
            uint64_t point, s;
            if (point_value(e.point, &point) && point == 0xA2 && rip::decimal(e.session, 2, 99, &s) && s == 1 &&
                !rip::decimal(e.plba, 6, rip::MAX_LBA + 1, &lead_out))
                return rip::fail(why_, "is damaged: its lead-out address " + e.plba + " is no address on a CD");
        }
        for (size_t k = 0; k < session.size(); k++) {
            const track& t = session[k];
            const std::string name = "track " + std::to_string(t.number);
            if (!t.has_index1) return rip::damaged_at(why_, t.line, name + " has no INDEX 1");
            if (t.has_index0 && t.index0 > t.index1)
                return rip::damaged_at(why_, t.line, name + " has its INDEX 0 after its INDEX 1");
            const uint64_t start = k == 0 ? 0 : first(t);
            uint64_t end = lead_out;
            if (k + 1 < session.size()) {
                end = first(session[k + 1]);
                if (end <= t.index1)
                    return rip::damaged_at(why_, session[k + 1].line,
                                          "track " + std::to_string(session[k + 1].number) +
                                              " does not start after " + name);
            } else if (end != rip::TO_FILE_END && end <= t.index1) {
                return rip::fail(why_, "is damaged: its lead-out lies before the end of " + name);
            }
            rip::piece p;
            p.track = t.number;
            p.file = "*.img";
            p.offset = start * RAW_SECTOR;
            p.sector_size = RAW_SECTOR;
            p.sectors = end == rip::TO_FILE_END ? end : end - start;
            const bool data = t.mode == "1" || t.mode == "2";
            p.data_offset = data ? rip::user_data_offset(RAW_SECTOR, t.mode == "2") : rip::NO_LAYOUT;
            if (!rip::add_piece(out_, p, why_)) return false;
            if (data && !found_) {
                found_ = true;
                out_->origin_piece = out_->pieces.size() - 1;
                out_->origin_sector = t.index1 - start;
            }
        }
        return found_ || rip::fail(why_, "has no data track (an audio CD?)");
    }

private:
    bool section(const std::string& l, size_t number) {
        in_track_ = in_entry_ = false;
        const size_t close = l.find(']');
        const std::string name =
            upper(trimmed(l.data() + 1, l.data() + (close == std::string::npos ? l.size() : close)));
        if (name == "CLONECD") clonecd_ = true;
        if (name.compare(0, 6, "ENTRY ") == 0) {
            if (entries_.size() == MAX_ENTRIES)
                return rip::damaged_at(why_, number, "more [Entry] sections than a CD's table holds");
            entries_.emplace_back();
            in_entry_ = true;
        }
        if (name.compare(0, 6, "TRACK ") == 0) {
            uint64_t n;
            const std::string digits = trimmed(name.data() + 6, name.data() + name.size());
            if (!rip::decimal(digits, 3, 99, &n) || n == 0)
                return rip::damaged_at(why_, number, "[TRACK " + digits + "] is not a track 1 to 99");
            if (seen_[n]) return rip::damaged_at(why_, number, "[TRACK " + digits + "] comes twice");
            seen_[n] = true;
            track t;
            t.number = unsigned(n);
            t.line = number;
            tracks_.push_back(t);
            in_track_ = true;
        }
        return true;
    }

    bool index(const std::string& value, size_t number, bool* has, uint64_t* v) {
        if (!rip::decimal(value, 6, rip::MAX_LBA, v))
            return rip::damaged_at(why_, number, value + " is no sector address of a CD (0 to 449849)");
        *has = true;
        return true;
    }

    // The session a track's table entry gives it; 1 when none does.
    uint64_t session_of(unsigned number) const {
        for (const entry& e : entries_) {
            uint64_t point, s;
            if (point_value(e.point, &point) && point == number) return rip::decimal(e.session, 2, 99, &s) ? s : 1;
        }
        return 1;
    }

    static uint64_t first(const track& t) { return t.has_index0 ? t.index0 : t.index1; }

    rip::disc_layout* out_;
    std::string* why_;
    bool clonecd_ = false, in_track_ = false, in_entry_ = false, found_ = false;
    std::bitset<100> seen_;
    std::vector<track> tracks_;
    std::vector<entry> entries_;
};

}  // namespace

bool read_disc(const char* text, size_t len, rip::disc_layout* out, std::string* why) {
    *out = rip::disc_layout();
    ccd_reader reader(out, why);
    return rip::for_each_line(text, len,
                              [&](const char* begin, const char* end, size_t number) {
                                  return reader.line(trimmed(begin, end), number);
                              }) &&
           reader.finish();
}

}  // namespace ccd

// cdrdao table-of-contents files: the sectors of the disc, track by track.
#include "formats/toc.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/descriptor_text.h"

namespace toc {

namespace {

const uint64_t MAX_COUNT = uint64_t(1) << 40;  // samples or bytes; far beyond a CD
const unsigned MAX_TRACKS = 99;

struct token {
    std::string text;
    bool quoted;
    size_t line;
};

// Words, quoted strings (backslash takes the next character literally) and
// braces, each with its line; comments dropped.
std::vector<token> tokens(const char* p, const char* end) {
    std::vector<token> out;
    size_t line = 1;
    while (p < end) {
        char c = *p;
        if (c == '\n') {
            line++;
            p++;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            p++;
        } else if (c == '/' && p + 1 < end && p[1] == '/') {
            while (p < end && *p != '\n') p++;
        } else if (c == '"') {
            const size_t at = line;
            std::string s;
            for (p++; p < end && *p != '"'; p++) {
                if (*p == '\\' && p + 1 < end) p++;
                if (*p == '\n') line++;
                s.push_back(*p);
            }
            if (p < end) p++;
            out.push_back({s, true, at});
        } else if (c == '{' || c == '}') {
            out.push_back({std::string(1, c), false, line});
            p++;
        } else {
            const char* start = p;
            while (p < end && !strchr(" \t\r\n\"{}", *p) && !(*p == '/' && p + 1 < end && p[1] == '/')) p++;
            out.push_back({std::string(start, p), false, line});
        }
    }
    return out;
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

// A length or position as written: mm:ss:ff (sectors), or a plain count of
// samples (audio) or bytes (data).
struct amount {
    bool msf;
    uint64_t value;
};

bool is_amount(const token* t) {
    return t && !t->quoted && !t->text.empty() && t->text.find_first_not_of("0123456789:") == std::string::npos;
}

// The track being read.
struct track {
    unsigned number = 0;
    const mode_info* mode = nullptr;
    uint32_t sector_size = 0, data_offset = rip::NO_LAYOUT;
    size_t line = 0;
    size_t first_piece = 0;   // its first piece in the layout
    uint64_t length = 0;      // its sectors so far, while every piece has a length
    bool open_ended = false;  // a piece runs to its file's end
    // INDEX 1: at a piece's start (after a piece without a length), or a
    // count of sectors from the track's start.
    bool index1_at_piece = false;
    size_t index1_piece = 0;
    uint64_t index1 = 0;
    size_t index1_line = 0;
};

class toc_reader {
public:
    toc_reader(const std::vector<token>& t, rip::disc_layout* out, std::string* why) : t_(t), out_(out), why_(why) {}

    bool read() {
        while (i_ < t_.size()) {
            const token& w = t_[i_++];
            if (w.quoted) continue;
            bool ok = true;
            if (w.text == "{") {
                skip_block();
            } else if (w.text == "TRACK") {
                ok = track_line(w);
            } else if (!in_track_) {
                continue;  // the header: CD_ROM, CATALOG and the like
            } else if (w.text == "SILENCE" || w.text == "ZERO") {
                ok = gap(w);
            } else if (w.text == "FIFO") {
                ok = fifo(w);
            } else if (w.text == "FILE" || w.text == "AUDIOFILE" || w.text == "DATAFILE") {
                ok = file(w);
            } else if (w.text == "START") {
                ok = start(w);
            } else if (w.text == "PREGAP") {
                ok = pregap(w);
            } else if (w.text == "INDEX") {
                if (is_amount(at(i_))) i_++;
            }
            if (!ok) return false;
        }
        if (!end_track()) return false;
        return found_ || rip::fail(why_, "has no data track (an audio CD?)");
    }

private:
    const token* at(size_t k) const { return k < t_.size() ? &t_[k] : nullptr; }

    bool fail(size_t line, const std::string& what) {
        return rip::damaged_at(why_, line, what);
    }

    void skip_block() {  // a CD_TEXT block, with blocks inside
        for (int depth = 1; i_ < t_.size() && depth > 0; i_++)
            if (!t_[i_].quoted) depth += t_[i_].text == "{" ? 1 : t_[i_].text == "}" ? -1 : 0;
    }

    bool track_line(const token& w) {
        if (!end_track()) return false;
        if (tracks_ == MAX_TRACKS) return fail(w.line, "a CD holds no more than 99 tracks");
        const token* m = at(i_);
        const mode_info* mode = nullptr;
        for (const mode_info& x : modes)
            if (m && !m->quoted && m->text == x.name) mode = &x;
        if (!m || m->quoted) return fail(w.line, "TRACK names no mode");
        if (!mode) return fail(w.line, m->text + " is not a track mode this setup reads");
        i_++;
        t_now_ = track();
        t_now_.number = ++tracks_;
        t_now_.mode = mode;
        t_now_.line = w.line;
        t_now_.sector_size = mode->sector_size;
        if (at(i_) && !at(i_)->quoted && (at(i_)->text == "RW" || at(i_)->text == "RW_RAW")) {
            t_now_.sector_size += 96;
            i_++;
        }
        if (mode->data) t_now_.data_offset = rip::user_data_offset(t_now_.sector_size, mode->mode2);
        t_now_.first_piece = out_->pieces.size();
        in_track_ = true;
        return true;
    }

    // An amount at the next token, if there is one.
    bool take_amount(amount* a, bool* present, size_t line) {
        *present = is_amount(at(i_));
        if (!*present) return true;
        const std::string& s = t_[i_++].text;
        a->msf = s.find(':') != std::string::npos;
        if (a->msf ? rip::msf(s, 12, 99, &a->value) : rip::decimal(s, 15, MAX_COUNT, &a->value)) return true;
        return fail(line, s + (a->msf ? " is not a position (mm:ss:ff)" : " is too large a count"));
    }

    // An amount as whole sectors of the track, a part of one counting whole.
    bool sectors(const amount& a, uint64_t* n, size_t line) {
        const uint64_t unit = audio() ? 588 : t_now_.sector_size;  // samples, or bytes
        *n = a.msf ? a.value : (a.value + unit - 1) / unit;
        return *n < rip::CD_FRAMES || fail(line, "a length of 100 minutes or more is no CD's");
    }

    bool audio() const { return t_now_.mode == &modes[0]; }

    bool add(const rip::piece& p) {
        if (!rip::add_piece(out_, p, why_)) return false;
        if (p.sectors == rip::TO_FILE_END) t_now_.open_ended = true;
        else t_now_.length += p.sectors;
        return true;
    }

    rip::piece piece_of_track() const {
        rip::piece p;
        p.track = t_now_.number;
        p.sector_size = t_now_.sector_size;
        p.data_offset = t_now_.data_offset;
        return p;
    }

    // SILENCE or ZERO: sectors in no file. ZERO may name a mode and a
    // subchannel mode before its length.
    bool gap(const token& w) {
        if (w.text == "ZERO")
            while (at(i_) && !at(i_)->quoted && !is_amount(at(i_)) && at(i_)->text != "TRACK") i_++;
        amount a;
        bool present;
        uint64_t n;
        if (!take_amount(&a, &present, w.line)) return false;
        if (!present) return fail(w.line, w.text + " needs a length");
        if (!sectors(a, &n, w.line)) return false;
        rip::piece p = piece_of_track();
        p.stored = false;
        p.sectors = n;
        return add(p);
    }

    // A FIFO's data is gone once written: sectors not stored.
    bool fifo(const token& w) {
        if (!at(i_) || !at(i_)->quoted) return fail(w.line, "FIFO needs a name in quotes");
        i_++;
        return gap(w);
    }

    bool file(const token& w) {
        if (!at(i_) || !at(i_)->quoted) return fail(w.line, w.text + " needs a file name in quotes");
        rip::piece p = piece_of_track();
        p.file = t_[i_++].text;
        if (at(i_) && !at(i_)->quoted && !at(i_)->text.empty() && at(i_)->text[0] == '#') {
            const std::string& s = t_[i_++].text;
            if (!rip::decimal(s.substr(1), 15, MAX_COUNT, &p.offset)) return fail(w.line, s + " is not a byte offset");
        }
        amount a;
        bool present;
        if (w.text != "DATAFILE") {  // a start, in the track's sectors or in samples
            if (!take_amount(&a, &present, w.line)) return false;
            if (!present) return fail(w.line, w.text + " needs a start");
            if (a.msf) {
                p.offset += a.value * t_now_.sector_size;
            } else {
                p.offset += audio() ? a.value * 4 : a.value;  // 4 bytes a stereo sample
            }
        }
        if (!take_amount(&a, &present, w.line)) return false;
        p.sectors = rip::TO_FILE_END;  // no length, or 0: up to the file's end
        if (present && a.value != 0 && !sectors(a, &p.sectors, w.line)) return false;
        return add(p);
    }

    bool start(const token& w) {
        amount a;
        bool present;
        if (!take_amount(&a, &present, w.line)) return false;
        t_now_.index1_line = w.line;
        if (present) {
            if (!a.msf) return fail(w.line, "START needs a position (mm:ss:ff)");
            t_now_.index1_at_piece = false;
            t_now_.index1 = a.value;
        } else {
            index1_here();
        }
        return true;
    }

    // INDEX 1 where the track's pieces so far end.
    void index1_here() {
        t_now_.index1_at_piece = t_now_.open_ended;
        t_now_.index1_piece = out_->pieces.size();
        t_now_.index1 = t_now_.length;
    }

    bool pregap(const token& w) {
        amount a;
        bool present;
        if (!take_amount(&a, &present, w.line)) return false;
        if (!present || !a.msf) return fail(w.line, "PREGAP needs a length (mm:ss:ff)");
        rip::piece p = piece_of_track();
        p.stored = false;
        p.sectors = a.value;
        if (!add(p)) return false;
        t_now_.index1_line = w.line;
        index1_here();
        return true;
    }

    // Ends the track being read; the first data track gives the origin.
    bool end_track() {
        if (!in_track_) return true;
        in_track_ = false;
        const track& t = t_now_;
        if (found_ || !t.mode->data) return true;
        const std::string name = "track " + std::to_string(t.number);
        if (t.data_offset == rip::NO_LAYOUT)
            return fail(t.line, name + " holds data in " + std::to_string(t.sector_size) +
                                    "-byte sectors, which this setup does not read");
        const size_t line = t.index1_line ? t.index1_line : t.line;
        size_t k = t.first_piece;
        uint64_t left = t.index1;
        if (t.index1_at_piece) {
            k = t.index1_piece;
            left = 0;
        }
        for (; k < out_->pieces.size(); k++) {
            const uint64_t n = out_->pieces[k].sectors;
            if (n == rip::TO_FILE_END) {
                // Its start is known; where it ends only when it is the track's last.
                if (left == 0 || k + 1 == out_->pieces.size()) break;
                return fail(line, "the START of " + name + " lies behind a file of unknown length");
            }
            if (left < n) break;
            left -= n;
        }
        if (k == out_->pieces.size()) return fail(line, name + " has no sectors from its START on");
        out_->origin_piece = k;
        out_->origin_sector = left;
        found_ = true;
        return true;
    }

    const std::vector<token>& t_;
    rip::disc_layout* out_;
    std::string* why_;
    size_t i_ = 0;
    bool in_track_ = false, found_ = false;
    unsigned tracks_ = 0;
    track t_now_;
};

}  // namespace

bool read_disc(const char* text, size_t len, rip::disc_layout* out, std::string* why) {
    *out = rip::disc_layout();
    const std::vector<token> t = tokens(text, text + strnlen(text, len));
    return toc_reader(t, out, why).read();
}

}  // namespace toc

// ISO 9660 volume descriptor check, directory record decoding and names.
#include "formats/iso9660.h"

#include <cstring>

#include "formats/bytes.h"
#include "formats/device_name.h"
#include "formats/utf8.h"

namespace iso {

namespace {

// Directory record fields (offsets from the record's first byte).
const size_t REC_LEN = 0;
const size_t REC_LBA = 2;
const size_t REC_SIZE = 10;
const size_t REC_FLAGS = 25;
const size_t REC_ID_LEN = 32;
const size_t REC_ID = 33;  // also the length of the fixed part
const uint8_t FLAG_DIR = 0x02;
const uint8_t FLAG_MORE = 0x80;  // "not the final record of this file"
// The XA extension's 14 bytes at the start of a record's system use area:
// group and user id, attributes (big-endian), "XA", file number, reserved.
const size_t XA_LEN = 14, XA_ATTRIBUTES = 4, XA_SIGNATURE = 6;
const uint16_t XA_FORM2 = 0x1000;

// Root directory record inside the primary volume descriptor.
const size_t PVD_ROOT_LBA = 158;
const size_t PVD_ROOT_SIZE = 166;
static_assert(PVD_ROOT_LBA == 156 + REC_LBA, "root record starts at byte 156");
static_assert(PVD_ROOT_SIZE == 156 + REC_SIZE, "root record starts at byte 156");

// Code points of the Windows Western code page's bytes 0x80 to 0x9F; the
// bytes from 0xA0 on are the code points of the same number. Bytes the code
// page leaves undefined map to the control code of their number, as Windows
// maps them.
const uint16_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// True when s is well-formed UTF-8: no stray continuation byte, no
// overlong form, no surrogate, nothing above U+10FFFF.
bool valid_utf8(const unsigned char* s) {
    while (*s) {
        const unsigned c = *s;
        size_t n;
        uint32_t cp, min;
        if (c < 0x80) {
            s++;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        for (size_t i = 1; i <= n; i++) {
            if ((s[i] & 0xC0) != 0x80) return false;  // also stops at the terminator
            cp = cp << 6 | (s[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        s += n + 1;
    }
    return true;
}

}  // namespace

std::string utf8_name(const char* name) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    if (valid_utf8(bytes)) return name;
    std::string out;
    for (; *bytes; bytes++)
        text8::put_utf8(&out, *bytes >= 0x80 && *bytes < 0xA0 ? cp1252_high[*bytes - 0x80] : *bytes);
    return out;
}

bool read_pvd(const uint8_t* sector, uint32_t* root_lba, uint32_t* root_size) {
    if (sector[0] != 1 || memcmp(sector + 1, "CD001", 5) != 0) return false;
    *root_lba = fmt::le32(sector + PVD_ROOT_LBA);
    *root_size = fmt::le32(sector + PVD_ROOT_SIZE);
    return true;
}

void clean_name(const uint8_t* id, size_t id_len, char name[64]) {
    size_t n = 0;
    while (n < id_len && n < 63 && id[n] != ';') {
        // A zero byte would end the name early and make it look harmless; '?'
        // keeps it visible and refused by name_safe.
        name[n] = id[n] ? char(id[n]) : '?';
        n++;
    }
    if (n > 0 && name[n - 1] == '.') n--;
    name[n] = 0;
}

std::vector<iso_entry> decode_dir(const uint8_t* data, size_t len, uint32_t size) {
    std::vector<iso_entry> entries;
    const size_t limit = size < len ? size : len;
    size_t pos = 0;
    while (pos < limit) {
        const size_t next_sector = (pos & ~size_t(ISO_SECTOR - 1)) + ISO_SECTOR;
        const uint8_t* rec = data + pos;
        const size_t rec_len = rec[REC_LEN];
        // A zero length byte ends the records of this sector; so does a record
        // that is too short for its fixed part or runs past the data read.
        if (rec_len < REC_ID || rec_len > len - pos) {
            pos = next_sector;
            continue;
        }
        const size_t id_len = rec[REC_ID_LEN];
        if (REC_ID + id_len > rec_len) {
            pos = next_sector;
            continue;
        }
        const uint8_t* id = rec + REC_ID;
        if (!(id_len == 1 && id[0] <= 1)) {
            iso_entry e{};
            clean_name(id, id_len, e.name);
            e.lba = fmt::le32(rec + REC_LBA);
            e.size = fmt::le32(rec + REC_SIZE);
            e.dir = (rec[REC_FLAGS] & FLAG_DIR) ? 1 : 0;
            e.more = !e.dir && (rec[REC_FLAGS] & FLAG_MORE) ? 1 : 0;
            // The system use area follows the identifier and, after an
            // identifier of even length, a pad byte.
            const size_t xa = REC_ID + id_len + (id_len % 2 == 0 ? 1 : 0);
            e.form2 = !e.dir && xa + XA_LEN <= rec_len && !memcmp(rec + xa + XA_SIGNATURE, "XA", 2) &&
                      (fmt::be16(rec + xa + XA_ATTRIBUTES) & XA_FORM2) ? 1 : 0;
            entries.push_back(e);
        }
        pos += rec_len;
    }
    return entries;
}

bool name_safe(const char* name) {
    size_t n = strlen(name);
    if (n == 0 || !strcmp(name, ".") || !strcmp(name, "..")) return false;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || strchr("\\/:*?\"<>|", c)) return false;
    }
    // Windows drops trailing dots and spaces, so such a name would not be the one on the disc.
    if (name[n - 1] == '.' || name[n - 1] == ' ') return false;
    return !win::is_device_name(name);
}

}  // namespace iso

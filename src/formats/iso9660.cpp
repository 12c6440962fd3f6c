// ISO 9660 volume descriptor check, directory record decoding and names.
#include "formats/iso9660.h"

#include <cstring>

#include "formats/bytes.h"
#include "formats/device_name.h"

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

// Root directory record inside the primary volume descriptor.
const size_t PVD_ROOT_LBA = 158;
const size_t PVD_ROOT_SIZE = 166;
static_assert(PVD_ROOT_LBA == 156 + REC_LBA, "root record starts at byte 156");
static_assert(PVD_ROOT_SIZE == 156 + REC_SIZE, "root record starts at byte 156");

}  // namespace

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

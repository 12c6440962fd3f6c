// Fuzzes the directory record decoder and the name checks. The first four
// bytes of the input are the directory's recorded size (little-endian); the
// rest is the directory data, in a buffer of exactly that many bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/iso9660.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t recorded = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                              uint32_t(data[3]) << 24;
    std::vector<uint8_t> dir(data + 4, data + size);

    std::vector<iso_entry> entries = iso::decode_dir(dir.data(), dir.size(), recorded);
    // Every listed record holds at least the 33-byte fixed part.
    if (entries.size() > dir.size() / 33) abort();
    for (const iso_entry& e : entries) {
        size_t n = strnlen(e.name, sizeof e.name);
        if (n > 63) abort();
        if (!iso::name_safe(e.name)) continue;
        // A name that passes must stay one plain name inside a folder.
        if (n == 0 || !strcmp(e.name, ".") || !strcmp(e.name, "..")) abort();
        for (size_t i = 0; i < n; i++) {
            unsigned char c = static_cast<unsigned char>(e.name[i]);
            if (c < 0x20 || strchr("\\/:*?\"<>|", c)) abort();
        }
        if (e.name[n - 1] == '.' || e.name[n - 1] == ' ') abort();
    }

    // The whole input as one identifier, and as a descriptor sector.
    char name[64];
    iso::clean_name(data, size, name);
    if (strnlen(name, sizeof name) > 63 || memchr(name, ';', strnlen(name, sizeof name))) abort();
    iso::name_safe(name);
    if (dir.size() >= ISO_SECTOR) {
        uint32_t lba = 0, len = 0;
        iso::read_pvd(dir.data(), &lba, &len);
    }
    return 0;
}

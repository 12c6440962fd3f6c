// Fuzzes the directory walks over whole small images held in memory, and
// checks their bounds by counting what they read:
//   byte 0     bit 0: the image is sparse (a 32 MiB image whose sectors past
//              the input read as zeros), else exactly the input's sectors
//   bytes 1-8  the root directory's extent (lba, size; little-endian)
//   the rest   the image from sector 0
// A traversal reads each sector at most once, a lookup at most twice the
// image, no walk reads a directory larger than iso::MAX_DIR_BYTES, and the
// byte total equals what a traversal visits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "formats/iso_walk.h"

namespace {

class counted_image : public iso::sector_source {
public:
    counted_image(const uint8_t* data, size_t size, uint64_t sectors)
        : data_(data), size_(size), sectors_(sectors) {}
    uint64_t sector_count() const override { return sectors_; }
    bool read(uint32_t lba, uint32_t count, uint8_t* dest) override {
        if (uint64_t(lba) + count > sectors_) abort();  // the walk asked for sectors outside the image
        if (count > iso::MAX_DIR_BYTES / ISO_SECTOR) abort();
        sectors_read += count;
        for (uint32_t i = 0; i < count; i++) {
            uint64_t at = (uint64_t(lba) + i) * ISO_SECTOR;
            uint8_t* out = dest + size_t(i) * ISO_SECTOR;
            size_t have = at < size_ ? size_t(size_ - at < ISO_SECTOR ? size_ - at : ISO_SECTOR) : 0;
            if (have) memcpy(out, data_ + at, have);
            memset(out + have, 0, ISO_SECTOR - have);
        }
        return true;
    }
    uint64_t sectors_read = 0;

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t sectors_;
};

class counter : public iso::tree_visitor {
public:
    uint64_t bytes = 0, dirs = 0, files = 0;
    int depth = 0, deepest = 0;
    bool file(const iso::iso_file& f) override {
        // A file's pieces are its records: at most MAX_PIECES, none overlapping another.
        if (f.pieces.empty() || f.pieces.size() > iso::MAX_PIECES) abort();
        uint64_t sum = 0;
        for (const iso::extent& p : f.pieces) sum += p.size;
        if (sum != f.size) abort();
        bytes += f.size;
        files++;
        return true;
    }
    bool refused(const iso_entry& e, const char* why) override {
        if (e.dir || !why || !*why) abort();
        return true;
    }
    bool enter(const iso_entry&) override {
        dirs++;
        if (++depth > deepest) deepest = depth;
        return true;
    }
    void leave() override { depth--; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    const bool sparse = data[0] & 1;
    const uint32_t root_lba = fmt::le32(data + 1), root_size = fmt::le32(data + 5);
    const uint8_t* image = data + 9;
    const size_t len = size - 9;
    const uint64_t sectors =
        sparse ? 2 * (iso::MAX_DIR_BYTES / ISO_SECTOR) + 64 : iso::sectors_for(len);

    counted_image src(image, len, sectors);
    iso::dir_walk walk(src);
    counter c;
    walk.traverse(root_lba, root_size, 0, c);
    if (src.sectors_read > sectors) abort();  // a sector read twice as directory data
    if (walk.stats().dir_bytes_read != src.sectors_read * ISO_SECTOR) abort();
    // Every directory entered was named by a record of at least 34 bytes read.
    if (c.dirs > src.sectors_read * ISO_SECTOR / 34) abort();
    if (c.deepest > iso::MAX_DEPTH || c.depth != 0) abort();

    // The total walks the same directories.
    src.sectors_read = 0;
    iso::dir_walk again(src);
    if (iso::total(again, root_lba, root_size, 0) != c.bytes) abort();

    if (sparse) return 0;  // lookups over 32 MiB of zeros would only slow the fuzzer
    // Lookups of every name in the root, of a path that loops through the
    // first directory, and of deep nonsense.
    iso::dir_walk lister(src);
    std::vector<iso_entry> root = lister.list(root_lba, root_size);
    std::vector<std::string> paths;
    for (size_t i = 0; i < root.size() && i < 8; i++) paths.push_back(root[i].name);
    if (!root.empty()) {
        std::string loop;
        for (int i = 0; i < 64; i++) loop += std::string(root[0].name) + "\\";
        paths.push_back(loop + "X");
    }
    paths.push_back(std::string(200, 'A'));
    for (const std::string& p : paths) {
        src.sectors_read = 0;
        iso::dir_walk w(src);
        iso::iso_file e;
        iso::find(w, root_lba, root_size, p.c_str(), &e);
        if (src.sectors_read > 2 * sectors) abort();
    }
    return 0;
}

// iso_names IMAGE: the entries of a plain ISO 9660 image as the setup decodes
// them, by its own code (src/formats/iso9660). The test-disc maker takes the
// names that tests expect from here instead of from a copy of the rules.
//
// One line per entry of every directory reached from the root, depth first,
// each directory extent once, entries in record order:
//   DIR_LBA INDEX D|F LBA SIZE NAME
// INDEX counts the entries of that directory from 0 (own and parent records
// are not entries); NAME is the name the setup gives the entry (the cleaned
// identifier, as UTF-8) in hex, "-" when it is empty.
// Exit status 0, or 1 when the image cannot be read or has no primary
// volume descriptor.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "formats/iso9660.h"

namespace {

std::vector<uint8_t> image;
std::set<uint32_t> listed;

void list(uint32_t lba, uint32_t size) {
    const uint64_t at = uint64_t(lba) * ISO_SECTOR;
    if (!listed.insert(lba).second || at > image.size()) return;
    const size_t len = size_t(std::min<uint64_t>(iso::sectors_for(size) * ISO_SECTOR, image.size() - at));
    const std::vector<iso_entry> entries = iso::decode_dir(image.data() + at, len, size);
    for (size_t i = 0; i < entries.size(); i++) {
        const iso_entry& e = entries[i];
        printf("%u %zu %c %u %u ", lba, i, e.dir ? 'D' : 'F', e.lba, e.size);
        const std::string name = iso::utf8_name(e.name);
        if (name.empty()) printf("-");
        for (unsigned char c : name) printf("%02x", c);
        printf("\n");
    }
    for (const iso_entry& e : entries)
        if (e.dir) list(e.lba, e.size);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: iso_names IMAGE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (in) image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    uint32_t root_lba = 0, root_size = 0;
    if (!in || image.size() < (ISO_PVD_SECTOR + 1) * ISO_SECTOR ||
        !iso::read_pvd(image.data() + ISO_PVD_SECTOR * ISO_SECTOR, &root_lba, &root_size)) {
        fprintf(stderr, "iso_names: %s is no readable ISO 9660 image\n", argv[1]);
        return 1;
    }
    list(root_lba, root_size);
    return 0;
}

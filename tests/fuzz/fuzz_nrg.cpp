// Fuzzes the Nero chunk list: the input's first 4 bytes say how many bytes of
// file lie before the rest, which is the file's tail. A layout read keeps its
// promises, and every stored sector lies in the file before the chunk list.
#include <cstdint>
#include <cstdlib>

#include "formats/bytes.h"
#include "formats/nrg.h"
#include "rip_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint64_t before = fmt::le32(data);
    const uint64_t file_size = before + (size - 4);
    rip::disc_layout l;
    std::string why;
    if (!nrg::read_disc(data + 4, size - 4, file_size, &l, &why)) {
        if (why.empty()) abort();
        return 0;
    }
    check_layout(l);
    uint64_t end = 0;  // of the stored piece before, in the file
    for (const rip::piece& p : l.pieces) {
        if (!p.stored) continue;
        if (!p.file.empty() || p.sectors == rip::TO_FILE_END || p.offset < end) abort();
        end = p.offset + p.sectors * p.sector_size;
        if (end > file_size - 8) abort();  // the footer is at least 8 bytes
    }
    return 0;
}

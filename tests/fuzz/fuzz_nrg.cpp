// Fuzzes the Nero chunk list: the input's first 4 bytes say how many bytes of
// file lie before the rest, which is the file's tail. A track found lies
// inside the file, before the chunk list.
#include <cstdint>
#include <cstdlib>

#include "formats/bytes.h"
#include "formats/nrg.h"
#include "rip_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint64_t before = fmt::le32(data);
    const uint64_t file_size = before + (size - 4);
    rip::data_track t;
    if (!nrg::first_data_track(data + 4, size - 4, file_size, &t)) return 0;
    check_track(t);
    if (!t.file.empty() || t.offset >= file_size) abort();
    return 0;
}

// Fuzzes the cue sheet reading: the first data track, the image name and the
// path built from it. The input is the sheet's text; a sheet path is taken
// from its first bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/cuesheet.h"
#include "rip_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    rip::data_track t;
    if (cue::first_data_track(text, size, &t)) {
        check_track(t);
        if (t.file.size() > size) abort();
    }
    std::string name;
    if (!cue::image_name(text, size, &name)) return 0;
    if (name.find('"') != std::string::npos || name.find('\0') != std::string::npos) abort();
    std::string sheet(text, size < 600 ? size : 600);
    std::string path = cue::image_path(sheet, name);
    if (path.size() > 519) abort();
    return 0;
}

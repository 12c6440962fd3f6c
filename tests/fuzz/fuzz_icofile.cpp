// Fuzzes the icon file checks and the icon file image assembled from a group.
// The input is read both as an icon file and as a group icon directory whose
// images are slices of the input itself.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "formats/icofile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    volatile uint8_t sink = 0;
    ico::file_view v(data, size);
    for (unsigned i = 1; i <= v.count(); i++) {
        auto r = v.image(i);
        if (!r) break;
        if (r->length != 0) sink = uint8_t(sink + r->bytes[0] + r->bytes[r->length - 1]);
    }
    std::vector<uint8_t> dir = v.group_dir();
    if (v.state() == ico::status::ok && dir.size() != 6 + 14 * size_t(v.count())) abort();

    ico::icon_lookup lookup = [&](uint16_t id) -> std::optional<ico::resource> {
        if (size == 0 || id % 5 == 0) return std::nullopt;
        size_t off = id % size;
        return ico::resource{data + off, uint32_t(std::min<size_t>(id, size - off))};
    };
    std::vector<uint8_t> out;
    if (ico::file_from_group(data, size, lookup, out) == ico::group_status::ok) {
        // What was assembled passes the checks with every image in range.
        ico::file_view back(out.data(), out.size());
        if (back.state() != ico::status::ok || back.count() == 0) abort();
        for (unsigned i = 1; i <= back.count(); i++)
            if (!back.image(i)) abort();
    }
    return 0;
}

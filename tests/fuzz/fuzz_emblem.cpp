// Fuzzes the emblem picture conversion from the raw picture bytes.
#include <cstdint>
#include <cstdlib>

#include "formats/emblem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    emblem::icon_set set;
    emblem::status st = emblem::convert(data, size, set);
    if (st != emblem::status::ok) {
        if (!set.group.empty() || emblem::message(st) == nullptr) abort();
        return 0;
    }
    if (set.group.size() != emblem::GROUP_DIR_SIZE) abort();
    for (int k = 0; k < emblem::ICON_COUNT; k++)
        if (set.images[k].size() != emblem::icon_image_size(emblem::sizes[k])) abort();
    return 0;
}

// Icon files (.ico) and icon groups as byte buffers.
#include "formats/icofile.h"

#include <cstring>
#include <new>

#include "formats/bytes.h"

namespace ico {

namespace {

// Fields of a directory entry in an icon file.
const size_t FE_LENGTH = 8;
const size_t FE_OFFSET = 12;
// Fields of a group entry.
const size_t GE_LENGTH = 8;
const size_t GE_ID = 12;
// Width, height, colour count, reserved, planes and bit depth: the part that
// an icon file entry and a group entry share.
const size_t SHARED_PART = 8;

static_assert(SHARED_PART == FE_LENGTH && SHARED_PART == GE_LENGTH, "entries share their first 8 bytes");
static_assert(GE_ID + 2 == GROUP_ENTRY_SIZE && FE_OFFSET + 4 == FILE_ENTRY_SIZE, "entry layouts");

void put_header(uint8_t* p, uint16_t count) {
    fmt::put_le16(p, 0);
    fmt::put_le16(p + 2, 1);
    fmt::put_le16(p + 4, count);
}

}  // namespace

const char* const OUT_OF_RANGE = "icon image out of range";

const char* message(status s) {
    switch (s) {
    case status::not_ico: return "icon file is not an .ico";
    case status::truncated: return "icon file is truncated";
    case status::ok: break;
    }
    return nullptr;
}

file_view::file_view(const uint8_t* data, uint64_t len) : data_(data), len_(len) {
    // Reserved word 0 and type 1 (icon); the high byte of the type is not looked at.
    if (len < HEADER_SIZE || data[0] != 0 || data[1] != 0 || data[2] != 1) {
        state_ = status::not_ico;
        return;
    }
    count_ = fmt::le16(data + 4);
    // The whole directory must be there before anything is read from it.
    state_ = len < HEADER_SIZE + FILE_ENTRY_SIZE * uint64_t(count_) ? status::truncated : status::ok;
}

std::optional<range> file_view::image(unsigned i) const {
    if (i < 1 || i > count()) return std::nullopt;
    const uint8_t* e = data_ + HEADER_SIZE + FILE_ENTRY_SIZE * (i - 1);
    uint32_t length = fmt::le32(e + FE_LENGTH);
    uint64_t offset = fmt::le32(e + FE_OFFSET);
    // Both are 32-bit, so the sum cannot wrap in 64 bits.
    if (offset + length > len_) return std::nullopt;
    return range{data_ + offset, offset, length};
}

std::vector<uint8_t> file_view::group_dir() const {
    std::vector<uint8_t> dir;
    if (state_ != status::ok) return dir;
    try {
        dir.resize(HEADER_SIZE + GROUP_ENTRY_SIZE * size_t(count_));
    } catch (const std::bad_alloc&) {
        return std::vector<uint8_t>();
    }
    put_header(dir.data(), uint16_t(count_));
    for (unsigned i = 1; i <= count_; i++) {
        const uint8_t* e = data_ + HEADER_SIZE + FILE_ENTRY_SIZE * (i - 1);
        uint8_t* g = dir.data() + HEADER_SIZE + GROUP_ENTRY_SIZE * (i - 1);
        std::memcpy(g, e, SHARED_PART);
        fmt::put_le32(g + GE_LENGTH, fmt::le32(e + FE_LENGTH));
        fmt::put_le16(g + GE_ID, uint16_t(i));
    }
    return dir;
}

group_status file_from_group(const uint8_t* group, uint64_t len, const icon_lookup& lookup,
                             std::vector<uint8_t>& out) noexcept {
    out.clear();
    if (len <= 5) return group_status::bad_group;
    unsigned n = fmt::le16(group + 4);
    if (n == 0 || len < HEADER_SIZE + GROUP_ENTRY_SIZE * uint64_t(n)) return group_status::bad_group;

    try {
        // Each id is looked up once; the sizes decide the layout, then the bytes are copied.
        std::vector<std::optional<resource>> found(n);
        uint64_t total = HEADER_SIZE + FILE_ENTRY_SIZE * uint64_t(n);
        for (unsigned k = 0; k < n; k++) {
            const uint8_t* g = group + HEADER_SIZE + GROUP_ENTRY_SIZE * k;
            if (lookup) found[k] = lookup(fmt::le16(g + GE_ID));
            // A resource that was found but whose bytes could not be had counts as missing.
            if (found[k] && !found[k]->data && found[k]->size != 0) found[k].reset();
            if (found[k]) total += found[k]->size;
            // Checked every step: n sizes of up to 4 GiB each stay far from wrapping 64 bits.
            if (total > MAX_FILE_SIZE) return group_status::too_large;
        }

        out.resize(size_t(total));
        uint8_t* p = out.data();
        put_header(p, uint16_t(n));
        // MAX_FILE_SIZE keeps every offset within the 32-bit field.
        uint32_t at = uint32_t(HEADER_SIZE + FILE_ENTRY_SIZE * n);
        for (unsigned k = 0; k < n; k++) {
            const uint8_t* g = group + HEADER_SIZE + GROUP_ENTRY_SIZE * k;
            uint8_t* e = p + HEADER_SIZE + FILE_ENTRY_SIZE * k;
            std::memcpy(e, g, SHARED_PART);
            uint32_t size = found[k] ? found[k]->size : 0;
            fmt::put_le32(e + FE_LENGTH, size);
            fmt::put_le32(e + FE_OFFSET, at);
            if (size != 0) std::memcpy(p + at, found[k]->data, size);
            at += size;
        }
        return group_status::ok;
    } catch (const std::bad_alloc&) {
        out.clear();
        out.shrink_to_fit();
        return group_status::no_memory;
    }
}

}  // namespace ico

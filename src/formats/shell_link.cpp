// Shell links: the header's check and the walk to the LinkInfo block.
#include "formats/shell_link.h"

#include "formats/bytes.h"

namespace lnk {

namespace {

// The class every shell link names in its header: {00021401-0000-0000-C000-000000000046}.
const uint8_t link_clsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const size_t CLSID_OFFSET = 4;

bool is_link_header(const uint8_t* data, size_t size) {
    if (size < HEADER_SIZE || fmt::le32(data) != HEADER_SIZE) return false;
    for (size_t i = 0; i < sizeof link_clsid; i++)
        if (data[CLSID_OFFSET + i] != link_clsid[i]) return false;
    return true;
}

}  // namespace

status find_link_info(const uint8_t* data, size_t size, block& where) {
    if (!is_link_header(data, size)) return status::malformed;
    const uint32_t flags = fmt::le32(data + FLAGS_OFFSET);
    size_t at = HEADER_SIZE;
    if (flags & HAS_ID_LIST) {
        if (size - at < 2) return status::malformed;
        const size_t list = fmt::le16(data + at);
        at += 2;
        if (list > size - at) return status::malformed;
        at += list;
    }
    if (!(flags & HAS_LINK_INFO)) return status::none;
    if (size - at < 4) return status::malformed;
    const uint32_t info = fmt::le32(data + at);
    if (info < LINK_INFO_MIN || info > size - at) return status::malformed;
    where.offset = at;
    where.size = info;
    return status::found;
}

status drop_link_info(std::vector<uint8_t>& link) {
    block where;
    const status st = find_link_info(link.data(), link.size(), where);
    if (st != status::found) return st;
    link.erase(link.begin() + static_cast<std::ptrdiff_t>(where.offset),
               link.begin() + static_cast<std::ptrdiff_t>(where.offset + where.size));
    fmt::put_le32(link.data() + FLAGS_OFFSET, fmt::le32(link.data() + FLAGS_OFFSET) & ~HAS_LINK_INFO);
    return st;
}

}  // namespace lnk

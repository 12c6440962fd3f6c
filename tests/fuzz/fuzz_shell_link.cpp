// Fuzzes the removal of a shell link's LinkInfo block: the block found lies
// inside the bytes, after the header and ID list; removing it takes out
// exactly those bytes and the flag, and nothing else; a link left without it
// has none to find; anything else is left untouched.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/bytes.h"
#include "formats/shell_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> in(data, data + size);
    lnk::block where;
    const lnk::status found = lnk::find_link_info(in.data(), in.size(), where);
    std::vector<uint8_t> out = in;
    const lnk::status dropped = lnk::drop_link_info(out);
    if (dropped != found) abort();
    if (found != lnk::status::found) {
        if (out != in) abort();
        return 0;
    }
    if (where.offset < lnk::HEADER_SIZE || where.size < lnk::LINK_INFO_MIN ||
        where.offset + where.size > in.size() || fmt::le32(&in[where.offset]) != where.size)
        abort();
    if (out.size() != in.size() - where.size) abort();
    const uint32_t flags = fmt::le32(&in[lnk::FLAGS_OFFSET]);
    if (!(flags & lnk::HAS_LINK_INFO) || fmt::le32(&out[lnk::FLAGS_OFFSET]) != (flags & ~lnk::HAS_LINK_INFO))
        abort();
    for (size_t i = 0; i < where.offset; i++)
        if ((i < lnk::FLAGS_OFFSET || i >= lnk::FLAGS_OFFSET + 4) && out[i] != in[i]) abort();
    for (size_t i = where.offset; i < out.size(); i++)
        if (out[i] != in[i + where.size]) abort();
    lnk::block again;
    if (lnk::find_link_info(out.data(), out.size(), again) != lnk::status::none) abort();
    return 0;
}

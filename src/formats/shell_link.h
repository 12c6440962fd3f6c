// Shell links (.lnk files) as the shell saves them: the fixed header, the
// target's ID list and the LinkInfo block that follows it. A LinkInfo block
// as Wine writes it holds the target's path only in the writer's code page,
// which readers in another code page decode wrongly; the setup takes it out
// of links to targets outside ASCII, leaving the ID list to name the target.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lnk {

const size_t HEADER_SIZE = 0x4C;      // the header's size, also its first field
const size_t FLAGS_OFFSET = 0x14;     // the link flags in the header
const uint32_t HAS_ID_LIST = 0x1;     // a 2-byte size and the ID list follow the header
const uint32_t HAS_LINK_INFO = 0x2;   // then a LinkInfo block, its 4-byte size first
const size_t LINK_INFO_MIN = 0x1C;    // a LinkInfo block's fixed fields

enum class status {
    found,      // the link has a LinkInfo block
    none,       // the link is sound and has none
    malformed,  // no shell link, or a block runs past the end of the bytes
};

struct block {
    size_t offset = 0;
    size_t size = 0;
};

// Where the LinkInfo block of the saved link lies (set when found).
status find_link_info(const uint8_t* data, size_t size, block& where);

// Takes the LinkInfo block out of a saved link and clears its flag; every
// other byte stays as it was. found: the block was removed; none or
// malformed: the link is left unchanged.
status drop_link_info(std::vector<uint8_t>& link);

}  // namespace lnk

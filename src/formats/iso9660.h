// ISO 9660 structures: the primary volume descriptor that marks an image, and
// the directory records of the primary hierarchy. Pure functions over memory;
// the disc sources read the sectors and call these.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

const uint32_t ISO_SECTOR = 2048;
const uint32_t ISO_PVD_SECTOR = 16;  // the volume descriptor set starts here

// One listed directory entry.
struct iso_entry {
    char name[64];  // cleaned identifier, at most 63 characters
    uint32_t lba;   // first sector of the extent
    uint32_t size;  // extent length in bytes
    int dir;        // 1 for a directory
    int more;       // 1: not the file's last record; the next record of its name holds its next piece
    int form2;      // 1: its data lies in Mode 2 Form 2 sectors, 2,324 bytes each (its XA attributes say so)
};

namespace iso {

// Takes the root directory's extent from a primary volume descriptor (one
// 2048-byte sector); false when the sector holds no primary descriptor.
bool read_pvd(const uint8_t* sector, uint32_t* root_lba, uint32_t* root_size);

// Lists the records of a directory whose data (len bytes, normally whole
// sectors) was read into data; size is the directory's recorded length.
// Own and parent records are skipped; a record that does not fit the data,
// or whose length cannot hold its fixed part and identifier, ends the listing
// of its sector and the walk goes on at the next one.
std::vector<iso_entry> decode_dir(const uint8_t* data, size_t len, uint32_t size);

// The identifier as a name: cut before the version separator ';', at most 63
// bytes, one trailing dot dropped. A zero byte inside it becomes '?'.
void clean_name(const uint8_t* id, size_t id_len, char name[64]);

// A cleaned name as UTF-8, the code page the program runs in: unchanged when
// it is valid UTF-8, else each byte read as the Windows Western code page
// (1252) reads it, so that names written in that code page keep their
// meaning and two names that differ in such a byte stay two names.
std::string utf8_name(const char* name);

// True when a cleaned name can be created as one file or folder inside a
// target folder on Windows: not empty, not "." or "..", no separator, colon,
// control or other forbidden character, no trailing dot or space, and not a
// device name (CON, NUL, COM1 and the like, also with an extension).
bool name_safe(const char* name);

// Sectors needed for size bytes, without wrapping for sizes near 4 GiB.
inline uint64_t sectors_for(uint64_t size) { return (size + ISO_SECTOR - 1) / ISO_SECTOR; }

}  // namespace iso

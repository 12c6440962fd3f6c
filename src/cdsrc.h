// Disc sources: one game disc given as a drive, a folder, a plain or raw
// image, or a rip's descriptor (cue sheet, CloneCD, Alcohol, Nero, cdrdao),
// behind one handle. Images are read through the
// ISO 9660 reader; folders through the file system.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "formats/iso_walk.h"
#include "util.h"

// Asked on the copying thread when a read from a disc still fails after its
// retries: true to read there again (the user has cleaned the disc), false
// to give up. disc is the disc's number, file its path on the disc.
using disc_question = bool (*)(int disc, const char* file);

struct cd_source {
    int is_image;          // 0 folder, 1 image
    char path[520];        // the normalised folder, or the image file actually opened
    HANDLE fh;             // the open image, or INVALID_HANDLE_VALUE
    uint32_t sector_size;  // 2048, 2336, 2352 or 2448; 0 for a folder
    uint32_t data_offset;  // where user data starts inside a sector: 0, 8, 16 or 24
    uint32_t root_lba;
    uint32_t root_size;
    char desc[552];        // "folder %s", or "image %s" and the like naming the rip's kind
    uint64_t sectors;      // whole logical sectors the image file holds from base on
    uint64_t base;         // byte position of logical sector 0 in the image file
    int number;            // the disc's number in an installation, for the question
    disc_question ask;     // asked when a read fails for good; null: never (silent mode)
    uint64_t bad_sector;   // where the last failed read_sectors stopped,
    unsigned long bad_error;  // and the system's error code of that read
};

cd_source* cd_open(const char* path);  // null when it is neither a folder nor an image
void cd_close(cd_source* cd);          // accepts null

// Owns an opened source and closes it on every path.
struct source_closer {
    void operator()(cd_source* cd) const { cd_close(cd); }
};
using source_ptr = std::unique_ptr<cd_source, source_closer>;
const char* cd_describe(cd_source* cd);
int cd_exists(cd_source* cd, const char* rel);  // 1 if a file or folder of that name exists
uint64_t cd_total_bytes(cd_source* cd);
int cd_copy_all(cd_source* cd, const char* dest, progress* p);  // 1 if the whole disc was copied

// Reads count logical sectors from lba into dest (count x 2048 bytes); 1 if all
// were read. A sector that fails to read is tried again (READ_RETRIES times,
// each retry logged) before it counts; on a failure the complete sectors
// before it are in dest, and bad_sector and bad_error say where and why.
int read_sectors(cd_source* cd, uint32_t lba, uint32_t count, unsigned char* dest);

// Retries of a failed disc read, with pauses of 125, 250 and 500 ms before
// them: under a second of waiting per place that will not read.
const unsigned READ_RETRIES = 3;
void pause_before_retry(unsigned retry);  // retry counts from 1
// Asks the disc's question, if it has one, about file: true to read again.
bool ask_to_retry(cd_source* cd, const char* file);


// The ISO 9660 reader (iso_reader.cpp).
std::vector<iso_entry> iso_dir(cd_source* cd, uint32_t lba, uint32_t size);
int iso_find(cd_source* cd, const char* rel, iso_entry* entry_out);
uint64_t iso_total(cd_source* cd, uint32_t lba, uint32_t size, int depth);
int iso_copy(cd_source* cd, uint32_t lba, uint32_t size, const char* dst, progress* p, int depth);

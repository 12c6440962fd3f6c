// A disc read from image files through its rip's sector map: sector reads
// with retries, and the ISO 9660 walks (lookup, measure, extraction) over
// them. A read finds each sector's track; a sector that the rip did not
// store fails by name instead of taking another track's bytes.
#pragma once
#include <string>
#include <vector>

#include "cdsrc.h"
#include "formats/disc_map.h"
#include "formats/iso_walk.h"
#include "handles.h"

// One file that a rip's map reads.
struct image_file {
    std::string path;
    file_handle handle;
    uint64_t size = 0;
};

// Reads up to len bytes at byte offset pos with one read call; the count
// read, or -1 when the call failed (error then holds the system's code). A
// read that stops short sets error to ERROR_HANDLE_EOF.
int64_t read_at(HANDLE fh, uint64_t pos, void* dest, DWORD len, unsigned long* error);

class image_disc final : public cd_source {
public:
    // kind: the description's first words ("image", "Nero image", ...);
    // files: the files of the maps to come, in the order of their file lists.
    image_disc(const char* kind, std::vector<image_file> files);

    // Reads through map from now on when its sector 16 holds a primary volume
    // descriptor; the description then names the file that holds that sector.
    bool mount(const rip::disc_map& map);

    bool exists(const char* rel) override;
    bool size_of(const char* rel, uint64_t* bytes) override;
    disc_size measure(uint32_t cluster) override;
    bool copy_all(const char* dest, progress* p) override;
    bool lies_in(const char* folder) const override;
    bool holds(const char*) const override { return false; }

    // Reads count sectors from lba into dest (count x 2048 bytes, or with
    // form2 count x 2324 bytes of Mode 2 Form 2 sectors); true when all were
    // read. With retry, a sector that fails to read is tried again
    // READ_RETRIES times (each retry logged); a sector past the end or in a
    // gap is not. After a failure the sectors before it are in dest, and
    // failure_line() says where and why.
    bool read(uint32_t lba, uint32_t count, uint8_t* dest, bool retry, bool form2 = false);
    // "cannot read sector N of FILE (error ...)" and the like, for the last
    // failed read; file is what the line calls the place.
    std::string failure_line(const char* file) const;
    uint64_t failed_sector() const { return bad_sector_; }

    // The lookup behind exists: the file or folder at rel.
    bool find(const char* rel, iso::iso_file* found);
    // The records of the directory at rel ("" the root), in disc order.
    std::vector<iso_entry> list(const char* rel);
    // Volume sectors the map places, gaps included.
    uint64_t sectors() const { return map_.sectors(); }

private:
    enum class failure { none, unreadable, past_the_end, not_stored, audio, no_form2 };
    class sectors_of;
    class extractor;

    uint32_t read_run(const rip::run& r, uint64_t sector, uint32_t n, uint32_t unit, uint8_t* dest,
                      unsigned long* error);
    bool retry_sector(const rip::run& r, uint64_t sector, uint32_t unit, uint8_t* dest, unsigned long* error);
    bool fail(uint64_t sector, failure why, unsigned long error = 0, unsigned track = 0);
    // Reads, and while the sectors still fail, names the place and asks the
    // disc's question; false once the answer is no (or there is no question).
    bool read_or_ask(uint32_t lba, uint32_t count, uint8_t* dest, const char* file, bool form2 = false);
    bool copy_file(const iso::iso_file& f, const char* file, const char* target, progress* p);

    std::vector<image_file> files_;
    rip::disc_map map_;
    const char* kind_;
    std::string volume_file_;  // the file that holds the volume descriptor
    uint32_t root_lba_ = 0, root_size_ = 0;
    uint64_t bad_sector_ = 0;
    failure bad_ = failure::none;
    unsigned long bad_error_ = 0;
    unsigned bad_track_ = 0;
};

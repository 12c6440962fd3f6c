// Walks over an image's ISO 9660 directory tree: one listing, a lookup by
// path, the byte total and the depth-first traversal that an extraction
// follows. Sectors come from a sector source, so the same walks run on image
// files and, in the fuzzer, on memory. Whatever the records of a crafted image
// say, one walk is bounded by the image itself:
//  - a directory is read only when its extent lies inside the image and the
//    directories held on the way to it, itself included, come to at most
//    MAX_DIR_BYTES: no allocation follows a recorded size beyond that;
//  - a traversal enters no directory whose sectors overlap those of one it
//    entered before (a loop, a directory shared by several records, or one
//    nested inside another's extent), so it reads each sector of the image at
//    most once as directory data;
//  - no walk reads more than twice the image's sectors as directory data
//    (this bounds lookups, which follow whatever path they are given).
// A file may be recorded as several records of its name in a row, each but
// the last marked "not the final record" (files of 4 GiB and more, and some
// smaller ones); every walk joins them into one file of several pieces.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "formats/iso9660.h"

namespace iso {

// Directories of real discs are at most a few hundred KB (a CD directory of
// 10,000 files takes under 600 KB). A larger one is malformed or malicious;
// the bound also keeps a walk's memory (data plus decoded entries) under
// about 60 MB.
const uint32_t MAX_DIR_BYTES = 16u << 20;
// Directories deeper than this below the root are skipped without a word.
const int MAX_DEPTH = 16;
// A file of a CD needs a piece for each 4 GiB at most; writers that split
// smaller files use a few. More is malformed or malicious, and would let one
// record's worth of data be written over and over.
const size_t MAX_PIECES = 64;

// One extent of a file's data.
struct extent {
    uint32_t lba, size;  // size as recorded
};

// User data of a Mode 2 Form 2 sector: 2,324 bytes where Form 1 keeps 2,048
// and its error correction (video and sound streams).
const uint32_t FORM2_BYTES = 2324;

// The bytes an extent's data comes to. A Form 2 file's recorded size counts
// its sectors at 2,048 bytes, as every size on the disc does; each of them
// holds 2,324.
inline uint64_t data_bytes(const extent& e, bool form2) {
    return form2 ? sectors_for(e.size) * FORM2_BYTES : e.size;
}

// One file of a directory: its first record, and the pieces that its
// records give, in order. Its data is the pieces' bytes one after another.
struct iso_file {
    iso_entry entry{};  // the first record: the name, the first piece, Form 2 or not
    std::vector<extent> pieces;
    uint64_t size = 0;  // the data of all pieces together (data_bytes)
};

// The logical sectors of one image.
class sector_source {
public:
    // Whole 2048-byte sectors the image holds.
    virtual uint64_t sector_count() const = 0;
    // Reads count sectors from lba into dest (count x 2048 bytes); false when
    // they cannot all be read.
    virtual bool read(uint32_t lba, uint32_t count, uint8_t* dest) = 0;

protected:
    ~sector_source() = default;
};

// What one walk skipped, and how much directory data it read.
struct walk_stats {
    uint64_t dir_bytes_read = 0;
    uint32_t repeated = 0;  // overlapping a directory already walked
    uint32_t too_big = 0;   // outside the image, or over the size bound
    uint32_t over_budget = 0;
    uint32_t skipped() const { return repeated + too_big + over_budget; }
};

// The directories and files of a traversal, depth first in record order.
class tree_visitor {
public:
    // A file of the directory being walked; false ends the traversal.
    virtual bool file(const iso_file& f) = 0;
    // A file whose records do not make one file (why says what is wrong); it
    // is left out. False ends the traversal.
    virtual bool refused(const iso_entry& first, const char* why) = 0;
    // A directory about to be walked; false ends the traversal.
    virtual bool enter(const iso_entry& e) = 0;
    // The end of the directory last entered.
    virtual void leave() = 0;

protected:
    ~tree_visitor() = default;
};

class dir_walk {
public:
    explicit dir_walk(sector_source& src);

    // The directory's entries (not its own and parent records), in disc order;
    // empty when it cannot be read or is beyond the walk's bounds.
    std::vector<iso_entry> list(uint32_t lba, uint32_t size) { return read_dir(lba, size, 0, false); }
    // Visits the tree of the directory at depth: every file, and every
    // directory not deeper than MAX_DEPTH and not overlapping one walked
    // before. False when the visitor ended it.
    bool traverse(uint32_t lba, uint32_t size, int depth, tree_visitor& v);

    const walk_stats& stats() const { return stats_; }

private:
    // Reads a directory of the walk, when it lies inside the image, fits
    // beside the held directories and the budget; claim marks its sectors
    // as walked.
    std::vector<iso_entry> read_dir(uint32_t lba, uint32_t size, uint64_t held, bool claim);
    bool walk_dir(const std::vector<iso_entry>& records, int depth, uint64_t held, tree_visitor& v);
    // True when the extent shares a sector with one the walk has entered.
    bool overlaps(uint32_t lba, uint32_t size) const;

    sector_source& src_;
    uint64_t budget_;                      // sectors of directory data left to read
    std::map<uint64_t, uint64_t> walked_;  // first sector -> end of each entered extent
    walk_stats stats_;
};

// The sum of the file sizes in the directory's tree.
uint64_t total(dir_walk& w, uint32_t lba, uint32_t size, int depth);

// Looks up rel (components separated by backslashes or slashes, compared
// without regard to ASCII case, each cut at 63 characters) from the root.
// True when every component was found; the last one goes to found (a
// directory as one piece, its extent). An empty path is found and leaves
// found alone.
bool find(dir_walk& w, uint32_t root_lba, uint32_t root_size, const char* rel, iso_file* found);

// The next item of a listing from records[*i] on: a directory or a file with
// its pieces joined into *out. False, with *why set, for a file whose records
// do not join (a piece list without its last record, more than MAX_PIECES
// pieces, pieces that overlap); *i moves past every record it took either way.
bool next_item(const std::vector<iso_entry>& records, size_t* i, iso_file* out, const char** why);

}  // namespace iso

// Disc sources: one game disc, given as a drive, a folder, a plain or raw
// image, or a rip's descriptor (cue sheet, CloneCD, Alcohol, Nero, cdrdao),
// behind one interface. cd_open (disc_open.cpp) decides the shape; a folder
// is read by folder_disc, everything else by image_disc.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "util.h"

// Asked on the copying thread when a read from a disc still fails after its
// retries: true to read there again (the user has cleaned the disc), false
// to give up. user is what the question was set with, disc the disc's
// number, file its path on the disc.
using disc_question = bool (*)(void* user, int disc, const char* file);

// What a disc's files come to.
struct disc_size {
    uint64_t bytes = 0;      // their sizes together
    uint64_t allocated = 0;  // what they take on a volume: each file and folder in whole clusters
};

class cd_source {
public:
    cd_source(const cd_source&) = delete;
    cd_source& operator=(const cd_source&) = delete;
    virtual ~cd_source() = default;

    // "folder %s", or "image %s" and the like naming the rip's kind and the file read.
    const char* describe() const { return desc_.c_str(); }
    // The disc's number in an installation, for its lines, and its question
    // with what it is asked with (null: a read that fails for good fails the
    // copy, as in silent mode).
    void set_question(int number, disc_question ask, void* user) {
        number_ = number;
        ask_ = ask;
        ask_user_ = user;
    }

    // True when a file or folder of that path (relative to the disc's root) exists.
    virtual bool exists(const char* rel) = 0;
    // The size of the file at rel; false when there is no such file.
    virtual bool size_of(const char* rel, uint64_t* bytes) = 0;
    // The disc's files, counted for a volume of cluster bytes (0 or 1: bytes
    // alone). It neither waits nor asks: a place that does not read counts as
    // empty, and the copy meets it again.
    virtual disc_size measure(uint32_t cluster) = 0;
    // Copies the whole disc below dest; true when every file arrived whole.
    virtual bool copy_all(const char* dest, progress* p) = 0;
    // True when the disc (its folder, or a file it reads) is folder or lies inside it.
    virtual bool lies_in(const char* folder) const = 0;
    // True when path is the folder that the disc walks or lies inside it (images: never).
    virtual bool holds(const char* path) const = 0;

protected:
    explicit cd_source(std::string desc) : desc_(std::move(desc)) {}
    void set_description(std::string desc) { desc_ = std::move(desc); }
    // Asks the disc's question about file, if it has one: true to read there again.
    bool ask_again(const char* file) const { return ask_ && ask_(ask_user_, number_, file); }
    int number() const { return number_; }

private:
    std::string desc_;
    int number_ = 0;
    disc_question ask_ = nullptr;
    void* ask_user_ = nullptr;
};

using source_ptr = std::unique_ptr<cd_source>;

// Opens whatever path names as a disc. Null when it is none, with *why (if
// given) saying what failed, in words a user can act on, beginning with the
// path ("...\d.cue names d.bin, which is not there").
cd_source* cd_open(const char* path, std::string* why = nullptr);
void cd_close(cd_source* cd);  // accepts null
const char* cd_describe(cd_source* cd);
int cd_exists(cd_source* cd, const char* rel);  // 1 if a file or folder of that name exists
uint64_t cd_total_bytes(cd_source* cd);
int cd_copy_all(cd_source* cd, const char* dest, progress* p);  // 1 if the whole disc was copied

// Retries of a failed disc read, with pauses of 125, 250 and 500 ms before
// them: under a second of waiting per place that will not read.
const unsigned READ_RETRIES = 3;
void pause_before_retry(unsigned retry);  // retry counts from 1

// The bounded directory walks over images held in memory: what a traversal
// enters and skips, the directory data each walk may read, lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "formats/iso_walk.h"

namespace {

struct rec {
    std::string name;
    uint32_t lba, size;
    bool dir;
};

// An image of whole sectors whose directories are placed by hand. Reads are
// counted here, apart from the walk's own accounting.
class memory_image : public iso::sector_source {
public:
    explicit memory_image(uint64_t sectors, uint64_t stored = 0)
        : sectors_(sectors), data_(size_t(stored ? stored : sectors) * ISO_SECTOR) {}

    // Writes the records of one directory from sector lba on, one sector each.
    void put_dir(uint32_t lba, const std::vector<rec>& records) {
        size_t pos = size_t(lba) * ISO_SECTOR;
        for (const rec& r : records) {
            if (pos + 34 + r.name.size() > data_.size()) throw std::out_of_range("put_dir");
            uint8_t* p = &data_[pos];
            p[0] = uint8_t(34 + r.name.size());
            fmt::put_le32(p + 2, r.lba);
            fmt::put_le32(p + 10, r.size);
            p[25] = r.dir ? 2 : 0;
            p[32] = uint8_t(r.name.size());
            memcpy(p + 33, r.name.data(), r.name.size());
            pos += p[0];
        }
    }

    uint64_t sector_count() const override { return sectors_; }
    // Sectors past the stored data read as zeros (a sparse image).
    bool read(uint32_t lba, uint32_t count, uint8_t* dest) override {
        reads++;
        sectors_read += count;
        for (uint32_t i = 0; i < count; i++) {
            size_t at = size_t(lba + i) * ISO_SECTOR;
            if (at + ISO_SECTOR <= data_.size())
                memcpy(dest + size_t(i) * ISO_SECTOR, &data_[at], ISO_SECTOR);
            else
                memset(dest + size_t(i) * ISO_SECTOR, 0, ISO_SECTOR);
        }
        return true;
    }

    int reads = 0;
    uint64_t sectors_read = 0;

private:
    uint64_t sectors_;
    std::vector<uint8_t> data_;
};

// Records what a traversal visits, as paths.
class recorder : public iso::tree_visitor {
public:
    std::vector<std::string> seen;
    bool file(const iso_entry& e) override {
        seen.push_back(path_ + e.name);
        return true;
    }
    bool enter(const iso_entry& e) override {
        seen.push_back(path_ + e.name + "/");
        stack_.push_back(path_);
        path_ += std::string(e.name) + "/";
        return true;
    }
    void leave() override {
        path_ = stack_.back();
        stack_.pop_back();
    }

private:
    std::string path_;
    std::vector<std::string> stack_;
};

using strs = std::vector<std::string>;
const uint32_t S = ISO_SECTOR;

TEST(IsoWalk, TraversalEntersEachExtentOnceAndNothingThatOverlapsIt) {
    memory_image img(40);
    img.put_dir(20, {{"A", 21, 2 * S, true}, {"F.TXT", 30, 5, false}, {"SAME", 21, 2 * S, true},
                     {"INSIDE", 22, S, true}, {"ROOT", 20, S, true}, {"B", 23, S, true}});
    img.put_dir(21, {{"A1.TXT", 30, 7, false}, {"UP", 20, S, true}});
    img.put_dir(22, {{"HIDDEN.TXT", 30, 100, false}});  // second sector of A
    img.put_dir(23, {{"B1.TXT", 30, 11, false}, {"EMPTY", 24, 0, true}, {"EMPTY2", 24, 0, true}});

    iso::dir_walk walk(img);
    recorder r;
    ASSERT_TRUE(walk.traverse(20, S, 0, r));
    EXPECT_EQ(r.seen, (strs{"A/", "A/A1.TXT", "A/HIDDEN.TXT", "F.TXT", "B/", "B/B1.TXT", "B/EMPTY/"}));
    EXPECT_EQ(walk.stats().repeated, 5u) << "UP, SAME, INSIDE, ROOT, and EMPTY2 on EMPTY's sector";
    EXPECT_EQ(img.sectors_read, 4u) << "each directory sector read once";

    iso::dir_walk again(img);
    EXPECT_EQ(iso::total(again, 20, S, 0), 7u + 100 + 5 + 11);
}

// Sector j names a directory at j + 1 spanning the whole area: every start is
// new, and the work would grow with the square of the area's size.
TEST(IsoWalk, NestedExtentsCostOneReadOfTheArea) {
    const uint32_t n = 500, first = 20;
    memory_image img(first + 2 * n);
    img.put_dir(16, {{"AREA", first, n * S, true}});
    for (uint32_t j = 0; j + 1 < n; j++) img.put_dir(first + j, {{"NEXT", first + j + 1, n * S, true}});

    iso::dir_walk walk(img);
    recorder r;
    ASSERT_TRUE(walk.traverse(16, S, 0, r));
    EXPECT_EQ(r.seen, strs{"AREA/"});
    EXPECT_EQ(walk.stats().repeated, n - 1);
    EXPECT_EQ(img.sectors_read, 1u + n);
    EXPECT_EQ(walk.stats().dir_bytes_read, (1u + n) * uint64_t(S));
}

TEST(IsoWalk, DirectoriesBeyondTheBoundsAreNeitherReadNorAllocated) {
    // A sparse image of 4 GiB: extents of any size lie inside it.
    memory_image img(2u << 20, 64);
    img.put_dir(16, {{"HUGE", 17, 0xFFFFF800u, true},
                     {"FAR", 0xFFFFFFF0u, S, true},
                     {"LIMIT", 40, iso::MAX_DIR_BYTES - S, true},
                     {"OVER", 10000, iso::MAX_DIR_BYTES, true},
                     {"A.TXT", 30, 3, false}});

    iso::dir_walk walk(img);
    recorder r;
    ASSERT_TRUE(walk.traverse(16, S, 0, r));
    EXPECT_EQ(r.seen, (strs{"HUGE/", "FAR/", "LIMIT/", "OVER/", "A.TXT"}))
        << "too large or outside: entered, listed as empty";
    EXPECT_EQ(walk.stats().too_big, 3u) << "with the root's sector held, OVER is one sector too many";
    EXPECT_EQ(img.sectors_read, 1u + (iso::MAX_DIR_BYTES - S) / S);

    memory_image small(20);
    small.put_dir(16, {{"ROOT.TXT", 18, 1, false}});
    iso::dir_walk single(small);
    EXPECT_TRUE(single.list(16, 0xFFFFFFFFu).empty());
    EXPECT_TRUE(single.list(19, 2 * S).empty()) << "runs past the image's end";
    EXPECT_EQ(single.list(16, S).size(), 1u);
    EXPECT_EQ(small.reads, 1);
}

TEST(IsoWalk, LookupsFollowAnyPathWithinTwiceTheImage) {
    memory_image img(20);
    img.put_dir(16, {{"LOOP", 16, S, true}, {"FILE.TXT", 18, 4, false}, {"sub", 17, S, true}});
    img.put_dir(17, {{"Deep.Txt", 18, 9, false}});

    iso::dir_walk walk(img);
    iso_entry e{};
    ASSERT_TRUE(iso::find(walk, 16, S, "loop\\LOOP//Loop\\file.txt", &e));
    EXPECT_STREQ(e.name, "FILE.TXT");
    EXPECT_TRUE(iso::find(walk, 16, S, "SUB/deep.txt", &e));
    EXPECT_EQ(e.size, 9u);
    EXPECT_FALSE(iso::find(walk, 16, S, "\\FILE.TXT", &e)) << "a leading separator is an empty name";
    iso_entry untouched{};
    EXPECT_TRUE(iso::find(walk, 16, S, "", &untouched));
    EXPECT_EQ(untouched.name[0], 0);

    std::string endless;
    for (int i = 0; i < 100; i++) endless += "LOOP\\";
    iso::dir_walk fresh(img);
    const uint64_t before = img.sectors_read;
    EXPECT_FALSE(iso::find(fresh, 16, S, (endless + "FILE.TXT").c_str(), &e));
    EXPECT_EQ(img.sectors_read - before, 2u * 20) << "the budget: twice the image's sectors";
    EXPECT_EQ(fresh.stats().over_budget, 1u);
}

// A visitor that ends the walk: nothing after it is visited.
TEST(IsoWalk, AVisitorCanEndTheTraversal) {
    struct stop_at_b : recorder {
        bool enter(const iso_entry& e) override { return std::string(e.name) != "B" && recorder::enter(e); }
    };
    memory_image img(30);
    img.put_dir(16, {{"A", 17, S, true}, {"B", 18, S, true}, {"C.TXT", 20, 1, false}});
    img.put_dir(17, {{"A.TXT", 20, 1, false}});
    iso::dir_walk walk(img);
    stop_at_b v;
    EXPECT_FALSE(walk.traverse(16, S, 0, v));
    EXPECT_EQ(v.seen, (strs{"A/", "A/A.TXT"}));
}

}  // namespace

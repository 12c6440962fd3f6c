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
    bool more = false;  // "not the final record of this file"
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
            p[25] = uint8_t((r.dir ? 2 : 0) | (r.more ? 0x80 : 0));
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
    std::vector<iso::iso_file> files;
    bool file(const iso::iso_file& f) override {
        seen.push_back(path_ + f.entry.name);
        files.push_back(f);
        return true;
    }
    bool refused(const iso_entry& e, const char* why) override {
        seen.push_back(path_ + e.name + " refused: " + why);
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
    iso::iso_file e;
    ASSERT_TRUE(iso::find(walk, 16, S, "loop\\LOOP//Loop\\file.txt", &e));
    EXPECT_STREQ(e.entry.name, "FILE.TXT");
    EXPECT_TRUE(iso::find(walk, 16, S, "SUB/deep.txt", &e));
    EXPECT_EQ(e.size, 9u);
    EXPECT_FALSE(iso::find(walk, 16, S, "\\FILE.TXT", &e)) << "a leading separator is an empty name";
    iso::iso_file untouched;
    EXPECT_TRUE(iso::find(walk, 16, S, "", &untouched));
    EXPECT_EQ(untouched.entry.name[0], 0);

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

// genisoimage lays directories out breadth first: root, A, B, then A's A1.
// B starts where A ends and ends where A1 starts; touching is not sharing.
TEST(IsoWalk, AdjacentExtentsAreNotOverlaps) {
    memory_image img(30);
    img.put_dir(20, {{"A", 21, S, true}, {"B", 22, S, true}});
    img.put_dir(21, {{"A1", 23, S, true}});
    img.put_dir(22, {{"B.TXT", 25, 3, false}});
    img.put_dir(23, {{"A1.TXT", 25, 2, false}});
    iso::dir_walk walk(img);
    recorder r;
    ASSERT_TRUE(walk.traverse(20, S, 0, r));
    EXPECT_EQ(r.seen, (strs{"A/", "A/A1/", "A/A1/A1.TXT", "B/", "B/B.TXT"}));
    EXPECT_EQ(walk.stats().skipped(), 0u);
}

// The directories on the way down are held while a deeper one is read: two
// of half the bound each, one inside the other, do not fit beside the root.
TEST(IsoWalk, HeldDirectoriesAddUpOnTheWayDown) {
    const uint32_t half = iso::MAX_DIR_BYTES / 2;
    memory_image img(2u << 20, 64);
    img.put_dir(16, {{"A", 17, half, true}});
    img.put_dir(17, {{"B", 5000, half, true}, {"C", 20000, half - S, true}});
    iso::dir_walk walk(img);
    recorder r;
    ASSERT_TRUE(walk.traverse(16, S, 0, r));
    EXPECT_EQ(r.seen, (strs{"A/", "A/B/", "A/C/"}));
    EXPECT_EQ(walk.stats().too_big, 1u) << "root, A and B come to one sector over; C fits exactly";
}

// A file recorded in several pieces is one file: its pieces in record order.
TEST(IsoWalk, PiecesOfAFileAreJoined) {
    memory_image img(60);
    img.put_dir(16, {{"A.DAT", 30, 24 * S, false, true},
                     {"A.DAT", 20, 5153, false},
                     {"B.DAT", 40, S, false, true},
                     {"B.DAT", 41, S, false, true},
                     {"B.DAT", 50, 7, false},
                     {"C.DAT", 55, 1, false}});
    iso::dir_walk walk(img);
    recorder r;
    ASSERT_TRUE(walk.traverse(16, S, 0, r));
    EXPECT_EQ(r.seen, (strs{"A.DAT", "B.DAT", "C.DAT"}));
    ASSERT_EQ(r.files.size(), 3u);
    EXPECT_EQ(r.files[0].size, 54305u);
    ASSERT_EQ(r.files[0].pieces.size(), 2u);
    EXPECT_EQ(r.files[0].pieces[1].lba, 20u);
    EXPECT_EQ(r.files[1].size, 2u * S + 7);
    EXPECT_EQ(r.files[1].pieces.size(), 3u);

    iso::dir_walk again(img);
    EXPECT_EQ(iso::total(again, 16, S, 0), 54305u + 2 * S + 7 + 1);
    iso::iso_file found;
    ASSERT_TRUE(iso::find(again, 16, S, "b.dat", &found));
    EXPECT_EQ(found.size, 2u * S + 7);
    EXPECT_TRUE(iso::find(again, 16, S, "C.DAT", &found)) << "the records after a piece list";
}

// A Form 2 file's recorded size counts its sectors at 2,048 bytes; each
// holds 2,324 of its data.
TEST(IsoWalk, Form2FilesComeToTheirSectorsData) {
    iso_entry head{};
    strcpy(head.name, "AVSEQ01.DAT");
    head.size = 79 * S;
    head.form2 = 1;
    std::vector<iso_entry> records{head};
    size_t i = 0;
    iso::iso_file f;
    const char* why = nullptr;
    ASSERT_TRUE(iso::next_item(records, &i, &f, &why));
    EXPECT_EQ(f.size, 79u * iso::FORM2_BYTES);
    head.form2 = 0;
    records = {head};
    i = 0;
    ASSERT_TRUE(iso::next_item(records, &i, &f, &why));
    EXPECT_EQ(f.size, 79u * S);
}

// Piece lists that do not make a file are left out, each with its reason,
// and the records after them are walked on.
TEST(IsoWalk, BrokenPieceListsAreRefused) {
    auto chain = [](const std::string& name, size_t pieces, uint32_t step) {
        std::vector<rec> out;
        for (size_t i = 0; i < pieces; i++)
            out.push_back({name, uint32_t(100 + i * step), S, false, i + 1 < pieces});
        return out;
    };
    std::vector<rec> records = chain("MAX.DAT", iso::MAX_PIECES, 1);
    for (const rec& r : chain("OVER.DAT", iso::MAX_PIECES + 1, 1)) records.push_back(r);
    records.push_back({"OPEN.DAT", 300, S, false, true});
    records.push_back({"NEXT.DAT", 301, 1, false});
    records.push_back({"SAME.DAT", 310, S, false, true});
    records.push_back({"SAME.DAT", 310, S, false});
    records.push_back({"CROSS.DAT", 320, 2 * S, false, true});
    records.push_back({"CROSS.DAT", 321, S, false});
    records.push_back({"TOUCH.DAT", 330, S, false, true});
    records.push_back({"TOUCH.DAT", 331, S, false});
    records.push_back({"LAST.DAT", 340, S, false, true});
    memory_image img(400);
    // Records fill sectors 16 to 18, one sector per 40 records of this size.
    for (size_t i = 0; i < records.size(); i += 40)
        img.put_dir(uint32_t(16 + i / 40),
                    std::vector<rec>(records.begin() + long(i), records.begin() + long(std::min(i + 40, records.size()))));
    const uint32_t size = uint32_t((records.size() + 39) / 40) * S;

    iso::dir_walk walk(img);
    recorder r;
    ASSERT_TRUE(walk.traverse(16, size, 0, r));
    EXPECT_EQ(r.seen, (strs{"MAX.DAT", "OVER.DAT refused: it is recorded in more pieces than a disc needs",
                            "OPEN.DAT refused: its pieces end without their last record", "NEXT.DAT",
                            "SAME.DAT refused: its pieces overlap", "CROSS.DAT refused: its pieces overlap",
                            "TOUCH.DAT", "LAST.DAT refused: its pieces end without their last record"}));
    EXPECT_EQ(r.files[0].pieces.size(), iso::MAX_PIECES);
    iso::dir_walk again(img);
    iso::iso_file found;
    EXPECT_FALSE(iso::find(again, 16, size, "OVER.DAT", &found)) << "a refused file is not found either";
    EXPECT_TRUE(iso::find(again, 16, size, "TOUCH.DAT", &found));
}

}  // namespace

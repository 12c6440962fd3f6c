// Disc sources under Wine: opening every shape, probing the sector layouts,
// cue sheets, sector runs, and the folder walks.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cdsrc.h"
#include "log.h"
#include "testutil.h"

namespace {

struct closer {
    void operator()(cd_source* cd) const { cd_close(cd); }
};
using source = std::unique_ptr<cd_source, closer>;
source open(const std::string& path) { return source(cd_open(path.c_str())); }

uint64_t sum_sizes(const std::string& root, int max_folders) {
    uint64_t sum = 0;
    for (auto& [rel, bytes] : tree_files(root))
        if (std::count(rel.begin(), rel.end(), '\\') <= max_folders) sum += bytes.size();
    return sum;
}

TEST(CdOpen, FolderPathsAreNormalised) {
    std::string tree = fixture("tree");
    source cd = open(tree + "\\\\//");
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd->is_image, 0);
    EXPECT_EQ(std::string(cd->path), tree);
    EXPECT_EQ(std::string(cd_describe(cd.get())), "folder " + tree);
    EXPECT_EQ(cd->fh, INVALID_HANDLE_VALUE);

    source bare = open("C:");
    ASSERT_TRUE(bare);
    EXPECT_EQ(std::string(bare->path), "C:\\");
    source root = open("C:\\\\/\\");
    ASSERT_TRUE(root);
    EXPECT_EQ(std::string(root->desc), "folder C:\\");
    // On a drive root the separator is doubled, which the file system accepts.
    EXPECT_EQ(cd_exists(root.get(), "windows"), 1);
    EXPECT_EQ(cd_exists(root.get(), "no such folder"), 0);

    EXPECT_FALSE(open(fixture("no-such-thing")));
    EXPECT_FALSE(open(""));
    cd_close(nullptr);
}

TEST(CdOpen, ProbesEachSectorLayout) {
    struct {
        const char* file;
        uint32_t size, offset;
    } cases[] = {{"tree.iso", 2048, 0}, {"tree_m1.bin", 2352, 16}, {"tree_m2.bin", 2352, 24}};
    source plain = open(fixture("tree.iso"));
    ASSERT_TRUE(plain);
    for (auto& c : cases) {
        source cd = open(fixture(c.file));
        ASSERT_TRUE(cd) << c.file;
        EXPECT_EQ(cd->is_image, 1);
        EXPECT_EQ(cd->sector_size, c.size) << c.file;
        EXPECT_EQ(cd->data_offset, c.offset) << c.file;
        EXPECT_EQ(cd->root_lba, plain->root_lba);
        EXPECT_EQ(cd->root_size, plain->root_size);
        EXPECT_EQ(std::string(cd->desc), "image " + fixture(c.file));
    }
}

TEST(CdOpen, RefusesFilesWithoutAPrimaryDescriptorInSector16) {
    std::string dir = scratch("refuse");
    auto iso = slurp(fixture("tree.iso"));
    spit(dir + "\\short.iso", std::string(iso.begin(), iso.begin() + 16 * 2048 + 100));
    EXPECT_FALSE(open(dir + "\\short.iso")) << "shorter than the probe position";
    spit(dir + "\\text.bin", std::string(100000, 'a'));
    EXPECT_FALSE(open(dir + "\\text.bin"));
    EXPECT_FALSE(open(fixture("crafted\\no-pvd.iso"))) << "descriptor of another type first";
}

TEST(CdOpen, CueSheetsNameTheImage) {
    std::string dir = scratch("cue");
    auto bin = slurp(fixture("tree_m1.bin"));
    spit(dir + "\\disc.bin", std::string(bin.begin(), bin.end()));
    std::string bin_path = dir + "\\disc.bin";

    spit(dir + "\\GAME.CUE", "FILE \"disc.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n");
    source cd = open(dir + "\\GAME.CUE");
    ASSERT_TRUE(cd);
    EXPECT_EQ(std::string(cd->path), bin_path);
    EXPECT_EQ(std::string(cd->desc), "image " + bin_path);
    EXPECT_EQ(cd->data_offset, 16u);

    spit(dir + "\\abs.cue", "FILE \"" + fixture("tree_m2.bin") + "\" BINARY\n");
    cd = open(dir + "\\abs.cue");
    ASSERT_TRUE(cd);
    EXPECT_EQ(std::string(cd->path), fixture("tree_m2.bin"));
    EXPECT_EQ(cd->data_offset, 24u);

    spit(dir + "\\noquotes.cue", "FILE disc.bin BINARY\nTITLE \"disc.bin\"\n");
    cd = open(dir + "\\noquotes.cue");
    ASSERT_TRUE(cd) << "the name comes from the next two quotes after FILE";
    EXPECT_EQ(std::string(cd->path), bin_path);

    spit(dir + "\\nofile.cue", "TRACK 01 MODE1/2352\nTITLE \"disc.bin\"\n");
    EXPECT_FALSE(open(dir + "\\nofile.cue")) << "the sheet itself is probed";
    spit(dir + "\\missing.cue", "FILE \"nothere.bin\" BINARY\n");
    EXPECT_FALSE(open(dir + "\\missing.cue"));

    // Over 1 MiB a .cue file is no sheet: it is not read for a FILE line, and
    // an image that merely has the name opens as an image.
    spit(dir + "\\long.cue", std::string(1 << 20, ' ') + "FILE \"disc.bin\" BINARY\n");
    EXPECT_FALSE(open(dir + "\\long.cue"));
    spit(dir + "\\image.cue", std::string(bin.begin(), bin.end()));
    cd = open(dir + "\\image.cue");
    ASSERT_TRUE(cd);
    EXPECT_EQ(std::string(cd->path), dir + "\\image.cue");
    EXPECT_EQ(cd->data_offset, 16u);
    // A sheet's mode that does not fit its image: probed like a bare file
    // when the data track starts the file, not when it starts elsewhere.
    spit(dir + "\\label.cue", "FILE \"" + fixture("tree.iso") + "\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n");
    cd = open(dir + "\\label.cue");
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd->sector_size, 2048u);
    spit(dir + "\\late.cue", "FILE \"" + fixture("tree.iso") + "\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:01\n");
    EXPECT_FALSE(open(dir + "\\late.cue"));
}

// Every rip the disc maker writes of tree.iso: the file opened, its layout,
// its description, and every sector read back in runs equal to the plain image.
TEST(CdOpen, RipsReadAsThePlainImage) {
    struct {
        const char* open;  // in fixtures\rips
        const char* file;  // the file read
        const char* kind;
        uint32_t size, offset;
        uint64_t base;
    } cases[] = {
        {"ccd.ccd", "ccd.img", "CloneCD image", 2352, 16, 0},
        {"ccd-m2.ccd", "ccd-m2.img", "CloneCD image", 2352, 24, 0},
        {"mds.mds", "mds.mdf", "Alcohol image", 2352, 16, 0},
        {"mds-2448.mds", "mds-2448.mdf", "Alcohol image", 2448, 16, 0},
        {"nrg.nrg", "nrg.nrg", "Nero image", 2048, 0, 307200},
        {"nrg-v1.nrg", "nrg-v1.nrg", "Nero image", 2048, 0, 307200},
        {"toc.toc", "toc.bin", "cdrdao image", 2352, 16, 0},
        {"raw-2448.img", "raw-2448.img", "image", 2448, 16, 0},
        {"raw-2448-m2.img", "raw-2448-m2.img", "image", 2448, 24, 0},
        {"raw-2336.bin", "raw-2336.bin", "image", 2336, 8, 0},
        {"cue-multi.cue", "cue-multi.bin", "image", 2352, 16, 0},
        {"cue-split.cue", "cue-split (Track 1).bin", "image", 2352, 24, 0},
        {"cue-2048.cue", "cue-2048 (Track 1).bin", "image", 2048, 0, 0},
        {"cue-2336.cue", "cue-2336 (Track 1).bin", "image", 2336, 8, 0},
    };
    auto iso = slurp(fixture("tree.iso"));
    const uint32_t sectors = uint32_t(iso.size() / 2048);
    source plain = open(fixture("tree.iso"));
    ASSERT_TRUE(plain);
    for (auto& c : cases) {
        source cd = open(fixture(std::string("rips\\") + c.open));
        ASSERT_TRUE(cd) << c.open;
        const std::string file = fixture(std::string("rips\\") + c.file);
        EXPECT_EQ(std::string(cd->path), file);
        EXPECT_EQ(std::string(cd_describe(cd.get())), std::string(c.kind) + " " + file);
        EXPECT_EQ(cd->sector_size, c.size) << c.open;
        EXPECT_EQ(cd->data_offset, c.offset) << c.open;
        EXPECT_EQ(cd->base, c.base) << c.open;
        EXPECT_EQ(cd->root_lba, plain->root_lba) << c.open;
        EXPECT_GE(cd->sectors, sectors) << c.open;
        std::vector<uint8_t> got(iso.size());
        for (uint32_t lba = 0; lba < sectors; lba += 45) {
            uint32_t n = std::min(45u, sectors - lba);
            ASSERT_EQ(read_sectors(cd.get(), lba, n, got.data() + size_t(lba) * 2048), 1) << c.open;
        }
        EXPECT_TRUE(got == iso) << c.open;
        EXPECT_EQ(cd_exists(cd.get(), "README.TXT"), 1) << c.open;
    }
}

// Damaged descriptors and names out of reason open nothing, and take no time.
TEST(CdOpen, DamagedDescriptorsOpenNothing) {
    std::string dir = scratch("damaged");
    auto copy = [&](const char* from, const std::string& to) {
        auto b = slurp(fixture(std::string("rips\\") + from));
        spit(dir + "\\" + to, std::string(b.begin(), b.end()));
    };
    copy("ccd.img", "game.img");
    copy("mds.mdf", "game.mdf");
    copy("toc.bin", "toc.bin");

    auto ccd = slurp(fixture("rips\\ccd.ccd"));
    spit(dir + "\\game.ccd", std::string(ccd.begin(), ccd.begin() + ccd.size() / 2));
    EXPECT_FALSE(open(dir + "\\game.ccd")) << "truncated before its track";
    spit(dir + "\\game.ccd", "[CloneCD]\n[TRACK 1]\nMODE=1\nINDEX 1=400000\n");
    EXPECT_FALSE(open(dir + "\\game.ccd")) << "INDEX 1 past the .img";
    spit(dir + "\\game.ccd", std::string(ccd.begin(), ccd.end()));
    EXPECT_TRUE(open(dir + "\\game.ccd"));

    auto mds = slurp(fixture("rips\\mds.mds"));
    spit(dir + "\\game.mds", std::string(mds.begin(), mds.end() - 20));
    EXPECT_FALSE(open(dir + "\\game.mds")) << "truncated";
    std::string moved(mds.begin(), mds.end());
    moved[0x70 + 3 * 80 + 0x2F] = 0x7F;  // start offset far past the .mdf
    spit(dir + "\\game.mds", moved);
    EXPECT_FALSE(open(dir + "\\game.mds"));

    auto nrg = slurp(fixture("rips\\nrg.nrg"));
    std::string past(nrg.begin(), nrg.end());
    past[past.size() - 5] ^= 0x10;  // footer offset past the file
    spit(dir + "\\far.nrg", past);
    EXPECT_FALSE(open(dir + "\\far.nrg"));
    spit(dir + "\\cut.nrg", std::string(nrg.begin(), nrg.begin() + 400000));
    EXPECT_FALSE(open(dir + "\\cut.nrg")) << "no footer";

    spit(dir + "\\dev.cue", "FILE \"NUL\" BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n");
    EXPECT_FALSE(open(dir + "\\dev.cue")) << "a device";
    spit(dir + "\\dev.toc", "TRACK MODE1\nDATAFILE \"\\\\\\\\.\\\\C:\"\n");
    EXPECT_FALSE(open(dir + "\\dev.toc")) << "a device path";
    spit(dir + "\\stream.toc", "TRACK MODE1_RAW\nDATAFILE \"toc.bin:x\"\n");
    EXPECT_FALSE(open(dir + "\\stream.toc")) << "a stream";
    spit(dir + "\\ok.toc", "TRACK MODE1_RAW\nDATAFILE \"toc.bin\"\n");
    EXPECT_TRUE(open(dir + "\\ok.toc"));
    spit(dir + "\\big.ccd", std::string((1 << 20) + 1, ' '));
    EXPECT_FALSE(open(dir + "\\big.ccd")) << "larger than a descriptor";
}

TEST(ReadSectors, RunsOfRawSectorsMatchThePlainImage) {
    auto iso = slurp(fixture("tree.iso"));
    const uint32_t sectors = uint32_t(iso.size() / 2048);
    for (const char* file : {"tree.iso", "tree_m1.bin", "tree_m2.bin"}) {
        source cd = open(fixture(file));
        ASSERT_TRUE(cd);
        EXPECT_EQ(cd->sectors, sectors) << file;
        for (uint32_t run : {1u, 32u, 33u, 70u}) {
            std::vector<uint8_t> got(size_t(sectors) * 2048);
            for (uint32_t lba = 0; lba < sectors; lba += run) {
                uint32_t n = std::min(run, sectors - lba);
                ASSERT_EQ(read_sectors(cd.get(), lba, n, got.data() + size_t(lba) * 2048), 1);
            }
            ASSERT_TRUE(got == iso) << file << " in runs of " << run;
        }
        EXPECT_EQ(read_sectors(cd.get(), 0, 0, nullptr), 1);

        // A run past the end fails, with the whole sectors before it in place.
        std::vector<uint8_t> tail(5 * 2048, 0xEE);
        // It names the first sector that did not read, and nothing past the
        // end is retried: the failure comes at once, without a retry line.
        log_capture log("read_past_end");
        EXPECT_EQ(read_sectors(cd.get(), sectors - 3, 5, tail.data()), 0) << file;
        EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 3 * 2048, iso.end() - 3 * 2048)) << file;
        EXPECT_EQ(cd->bad_sector, sectors) << file;
        EXPECT_EQ(read_sectors(cd.get(), 0xFFFFFFF0u, 32, tail.data()), 0);
        EXPECT_EQ(cd->bad_sector, 0xFFFFFFF0u);
        EXPECT_EQ(log.last(), "setup started") << file;
    }
}

TEST(FolderSource, TotalAndCopyReproduceTheTree) {
    std::string tree = fixture("tree");
    source cd = open(tree);
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), sum_sizes(tree, 100));
    EXPECT_EQ(cd_exists(cd.get(), "no\\such\\file"), 0);

    std::string out = scratch("folder_copy") + "\\cd";
    progress p{0, 0, nullptr, nullptr};
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), &p), 1);
    EXPECT_EQ(p.done, sum_sizes(tree, 100));
    auto want = tree_files(tree), got = tree_files(out);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want);

    // Files read-only on the source arrive with normal attributes.
    bool saw_readonly = false;
    for (auto& [rel, bytes] : want) {
        saw_readonly |= (GetFileAttributesA((tree + "\\" + rel).c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
        DWORD attrs = GetFileAttributesA((out + "\\" + rel).c_str());
        EXPECT_EQ(attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY), 0u) << rel;
    }
    EXPECT_TRUE(saw_readonly) << "the fixture tree holds a read-only file";
}

TEST(FolderSource, DeepTreesStopSixteenLevelsDown) {
    std::string deep = fixture("deep");
    ASSERT_GT(sum_sizes(deep, 100), sum_sizes(deep, 16)) << "the fixture is deeper than 16";
    source cd = open(deep);
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), sum_sizes(deep, 16));
    std::string out = scratch("deep_copy");
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    auto got = tree_files(out);
    uint64_t sum = 0;
    for (auto& [rel, bytes] : got) sum += bytes.size();
    EXPECT_EQ(sum, sum_sizes(deep, 16));
}

TEST(FolderSource, EmptyFolderAndFailingCopy) {
    std::string dir = scratch("empty_src");
    make_dirs((dir + "\\src").c_str());
    source cd = open(dir + "\\src");
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), 0u);
    ASSERT_EQ(cd_copy_all(cd.get(), (dir + "\\out\\cd").c_str(), nullptr), 1);
    EXPECT_TRUE(is_dir((dir + "\\out\\cd").c_str()));

    // The first file that cannot be written stops the copy.
    spit(dir + "\\src\\a.txt", "a");
    make_dirs((dir + "\\blocked\\a.txt").c_str());
    log_capture log("failing_copy");
    EXPECT_EQ(cd_copy_all(cd.get(), (dir + "\\blocked").c_str(), nullptr), 0);
    EXPECT_EQ(log.last(), "cannot write " + dir + "\\blocked\\a.txt (error 5)") << "the file and the reason";
}

}  // namespace

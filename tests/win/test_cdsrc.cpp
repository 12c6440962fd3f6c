// Disc sources under Wine: opening every shape, probing the sector layouts,
// cue sheets, sector runs, and the folder walks.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cdsrc.h"
#include "image_disc.h"
#include "log.h"
#include "testutil.h"

namespace {

using source = std::unique_ptr<cd_source>;
source open(const std::string& path) { return source(cd_open(path.c_str())); }
image_disc* image(const source& cd) { return dynamic_cast<image_disc*>(cd.get()); }

// Every sector of the disc equals the plain image's, read in runs of n.
bool reads_as(const source& cd, const std::vector<uint8_t>& iso, uint32_t n = 45) {
    const uint32_t sectors = uint32_t(iso.size() / 2048);
    if (!image(cd) || image(cd)->sectors() < sectors) return false;
    std::vector<uint8_t> got(iso.size());
    for (uint32_t lba = 0; lba < sectors; lba += n)
        if (!image(cd)->read(lba, std::min(n, sectors - lba), got.data() + size_t(lba) * 2048, false)) return false;
    return got == iso;
}

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
    EXPECT_FALSE(image(cd));
    EXPECT_EQ(std::string(cd_describe(cd.get())), "folder " + tree);

    source bare = open("C:");
    ASSERT_TRUE(bare);
    EXPECT_EQ(std::string(bare->describe()), "folder C:\\");
    source root = open("C:\\\\/\\");
    ASSERT_TRUE(root);
    EXPECT_EQ(std::string(root->describe()), "folder C:\\");
    // On a drive root the separator is doubled, which the file system accepts.
    EXPECT_EQ(cd_exists(root.get(), "windows"), 1);
    EXPECT_EQ(cd_exists(root.get(), "no such folder"), 0);

    EXPECT_FALSE(open(fixture("no-such-thing")));
    EXPECT_FALSE(open(""));
    cd_close(nullptr);
}

TEST(CdOpen, ProbesEachSectorLayout) {
    auto iso = slurp(fixture("tree.iso"));
    for (const char* file : {"tree.iso", "tree_m1.bin", "tree_m2.bin"}) {
        source cd = open(fixture(file));
        ASSERT_TRUE(cd) << file;
        EXPECT_TRUE(reads_as(cd, iso)) << file;
        EXPECT_EQ(std::string(cd->describe()), "image " + fixture(file));
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

    auto iso = slurp(fixture("tree.iso"));
    spit(dir + "\\GAME.CUE", "FILE \"disc.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n");
    source cd = open(dir + "\\GAME.CUE");
    ASSERT_TRUE(cd);
    EXPECT_EQ(std::string(cd->describe()), "image " + bin_path);
    EXPECT_TRUE(reads_as(cd, iso));

    spit(dir + "\\abs.cue", "FILE \"" + fixture("tree_m2.bin") + "\" BINARY\n");
    cd = open(dir + "\\abs.cue");
    ASSERT_TRUE(cd);
    EXPECT_EQ(std::string(cd->describe()), "image " + fixture("tree_m2.bin"));
    EXPECT_TRUE(reads_as(cd, iso));

    spit(dir + "\\noquotes.cue", "FILE disc.bin BINARY\nTITLE \"disc.bin\"\n");
    cd = open(dir + "\\noquotes.cue");
    ASSERT_TRUE(cd) << "the name comes from the next two quotes after FILE";
    EXPECT_EQ(std::string(cd->describe()), "image " + bin_path);

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
    EXPECT_EQ(std::string(cd->describe()), "image " + dir + "\\image.cue");
    EXPECT_TRUE(reads_as(cd, iso));
    // A sheet's place or mode that does not fit its image: the place it
    // states is tried first, then the image is probed like a bare file.
    spit(dir + "\\label.cue", "FILE \"" + fixture("tree.iso") + "\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n");
    cd = open(dir + "\\label.cue");
    ASSERT_TRUE(cd);
    EXPECT_TRUE(reads_as(cd, iso));
    // A hand-written sheet with the usual 2-second pregap that its image does not hold.
    spit(dir + "\\pregap.cue", "FILE \"disc.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:02:00\n");
    cd = open(dir + "\\pregap.cue");
    ASSERT_TRUE(cd);
    EXPECT_TRUE(reads_as(cd, iso));
    // A single leading separator: the sheet's folder in front of it.
    spit(dir + "\\rooted.cue", "FILE \"\\disc.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n");
    cd = open(dir + "\\rooted.cue");
    ASSERT_TRUE(cd);
    EXPECT_EQ(std::string(cd->describe()), "image " + bin_path);
}

// Every rip the disc maker writes of tree.iso: the file opened, its layout,
// its description, and every sector read back in runs equal to the plain image.
TEST(CdOpen, RipsReadAsThePlainImage) {
    struct {
        const char* open;  // in fixtures\rips
        const char* file;  // the file read
        const char* kind;
    } cases[] = {
        {"ccd.ccd", "ccd.img", "CloneCD image"},
        {"ccd-m2.ccd", "ccd-m2.img", "CloneCD image"},
        {"mds.mds", "mds.mdf", "Alcohol image"},
        {"mds-2448.mds", "mds-2448.mdf", "Alcohol image"},
        {"nrg.nrg", "nrg.nrg", "Nero image"},
        {"nrg-v1.nrg", "nrg-v1.nrg", "Nero image"},
        {"toc.toc", "toc.bin", "cdrdao image"},
        {"raw-2448.img", "raw-2448.img", "image"},
        {"raw-2448-m2.img", "raw-2448-m2.img", "image"},
        {"raw-2336.bin", "raw-2336.bin", "image"},
        {"cue-multi.cue", "cue-multi.bin", "image"},
        {"cue-split.cue", "cue-split (Track 1).bin", "image"},
        {"cue-2048.cue", "cue-2048 (Track 1).bin", "image"},
        {"cue-2336.cue", "cue-2336 (Track 1).bin", "image"},
    };
    auto iso = slurp(fixture("tree.iso"));
    for (auto& c : cases) {
        source cd = open(fixture(std::string("rips\\") + c.open));
        ASSERT_TRUE(cd) << c.open;
        const std::string file = fixture(std::string("rips\\") + c.file);
        EXPECT_EQ(std::string(cd_describe(cd.get())), std::string(c.kind) + " " + file);
        EXPECT_TRUE(reads_as(cd, iso)) << c.open;
        EXPECT_EQ(cd_exists(cd.get(), "README.TXT"), 1) << c.open;
    }
}

// Damaged descriptors and names out of reason open nothing, and take no time.
// Every path that opens nothing says why, in words that begin with the
// path, for the line the installation logs before its error.
TEST(CdOpen, EveryDiscThatDoesNotOpenSaysWhy) {
    const std::string dir = scratch("why");
    auto why = [](const std::string& path) {
        std::string reason = "(opened)";
        source cd(cd_open(path.c_str(), &reason));
        return reason;
    };
    EXPECT_EQ(why(dir + "\\none.iso"), dir + "\\none.iso is not there");
    EXPECT_EQ(why(dir + "\\nofolder\\none.iso"), dir + "\\nofolder\\none.iso is not there");
    spit(dir + "\\udf.iso", std::string(40 * 2048, '\0'));
    EXPECT_EQ(why(dir + "\\udf.iso"), dir + "\\udf.iso holds no ISO 9660 volume (a UDF-only disc?)");
    spit(dir + "\\d.cue", "FILE \"d.bin\" BINARY\n TRACK 01 MODE1/2352\n  INDEX 01 00:00:00\n");
    EXPECT_EQ(why(dir + "\\d.cue"), dir + "\\d.cue names d.bin, which is not there");
    spit(dir + "\\audio.bin", std::string(300 * 2352, '\0'));
    spit(dir + "\\audio.cue", "FILE \"audio.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n");
    EXPECT_EQ(why(dir + "\\audio.cue"), dir + "\\audio.cue has no data track (an audio CD?)");
    spit(dir + "\\dev.cue", "FILE \"NUL\" BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:00\n");
    EXPECT_EQ(why(dir + "\\dev.cue"), dir + "\\dev.cue names NUL, which is no file the setup opens (a device, a "
                                        "stream or a network path)");
    // A descriptor that parses, whose image holds no volume where it says.
    spit(dir + "\\late.cue", "FILE \"udf.iso\" BINARY\n TRACK 01 MODE1/2048\n  INDEX 01 00:00:01\n");
    EXPECT_EQ(why(dir + "\\late.cue"), dir + "\\udf.iso holds no ISO 9660 volume where " + dir +
                                            "\\late.cue places its data track");
    auto nrg = slurp(fixture("rips\\nrg.nrg"));
    spit(dir + "\\cut.nrg", std::string(nrg.begin(), nrg.begin() + 400000));
    const std::string nero = why(dir + "\\cut.nrg");
    EXPECT_EQ(nero.rfind(dir + "\\cut.nrg is ", 0), 0u) << nero;
}

// A plain or raw image under a descriptor's name opens as the image it is.
TEST(CdOpen, ImagesNamedLikeDescriptors) {
    const std::string dir = scratch("misnamed");
    auto iso = slurp(fixture("tree.iso"));
    auto bin = slurp(fixture("tree_m1.bin"));
    for (const char* ext : {".nrg", ".ccd", ".mds", ".toc"}) {
        spit(dir + "\\plain" + ext, std::string(iso.begin(), iso.end()));
        spit(dir + "\\raw" + ext, std::string(bin.begin(), bin.end()));
        for (const char* name : {"plain", "raw"}) {
            source cd = open(dir + "\\" + name + ext);
            ASSERT_TRUE(cd) << name << ext;
            EXPECT_EQ(std::string(cd->describe()), "image " + dir + "\\" + name + ext);
            EXPECT_TRUE(reads_as(cd, iso)) << name << ext;
        }
    }
}

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
        EXPECT_EQ(image(cd)->sectors(), sectors) << file;
        for (uint32_t run : {1u, 32u, 33u, 70u}) EXPECT_TRUE(reads_as(cd, iso, run)) << file << " in runs of " << run;
        EXPECT_TRUE(image(cd)->read(0, 0, nullptr, true));

        // A run past the end fails, with the whole sectors before it in place.
        std::vector<uint8_t> tail(5 * 2048, 0xEE);
        // It names the first sector that did not read, and nothing past the
        // end is retried: the failure comes at once, without a retry line.
        log_capture log("read_past_end");
        EXPECT_FALSE(image(cd)->read(sectors - 3, 5, tail.data(), true)) << file;
        EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 3 * 2048, iso.end() - 3 * 2048)) << file;
        EXPECT_EQ(image(cd)->failed_sector(), sectors) << file;
        EXPECT_EQ(image(cd)->failure_line("X.DAT"),
                  "cannot read sector " + std::to_string(sectors) + " of X.DAT (beyond the end of the image)");
        EXPECT_FALSE(image(cd)->read(0xFFFFFFF0u, 32, tail.data(), true));
        EXPECT_EQ(image(cd)->failed_sector(), 0xFFFFFFF0u);
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
    EXPECT_EQ(log.last(), "cannot write " + dir + "\\blocked\\a.txt (" + error_text(ERROR_ACCESS_DENIED) + ")");
}

}  // namespace

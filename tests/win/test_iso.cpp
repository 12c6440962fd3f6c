// The ISO 9660 reader under Wine, on images made by the mastering tool in every
// sector layout and on crafted images that are damaged or made to attack.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cdsrc.h"
#include "image_disc.h"
#include "log.h"
#include "testutil.h"

namespace {

struct closer {
    void operator()(cd_source* cd) const { cd_close(cd); }
};
using source = std::unique_ptr<cd_source, closer>;
source open(const std::string& path) { return source(cd_open(path.c_str())); }
// The image side of an opened disc, for its lookups and listings.
image_disc* image(const source& cd) { return dynamic_cast<image_disc*>(cd.get()); }

using files = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// The files of a tree down to max_folders folders below its root.
files shallow(const files& all, int max_folders) {
    files out;
    for (auto& f : all)
        if (std::count(f.first.begin(), f.first.end(), '\\') <= max_folders) out.push_back(f);
    return out;
}

uint64_t bytes_of(const files& fs) {
    uint64_t sum = 0;
    for (auto& f : fs) sum += f.second.size();
    return sum;
}

// Names directly inside a folder, sorted.
std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        std::string n = fd.cFileName;
        if (n != "." && n != "..") out.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> names(const std::vector<iso_entry>& entries) {
    std::vector<std::string> out;
    for (const iso_entry& e : entries) out.push_back(e.name);
    return out;
}

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; i++) b[i] = uint8_t(i % 251);
    return b;
}

// Every advance of a progress meter, and if asked the largest working set
// seen at any of them.
struct advances {
    progress p{0, 0, record, this};
    std::vector<uint64_t> steps;
    bool watch_memory = false;
    uint64_t peak = 0;
    static void record(uint64_t done, uint64_t, void* user) {
        auto* self = static_cast<advances*>(user);
        uint64_t before = 0;
        for (uint64_t s : self->steps) before += s;
        self->steps.push_back(done - before);
        if (self->watch_memory) self->peak = std::max(self->peak, working_set());
    }
};

TEST(IsoFind, LooksUpPathsLikeTheFileSystem) {
    source cd = open(fixture("crafted\\lookup.iso"));
    ASSERT_TRUE(cd);
    for (const char* found : {"setup.exe", "SETUP.EXE", "DATA", "data\\read.me", "DATA/READ.ME",
                              "DATA\\\\READ.ME", "DATA\\", "hidden.txt", ""})
        EXPECT_EQ(cd_exists(cd.get(), found), 1) << found;
    for (const char* missing : {"DATA\\NONE", "SETUP.EXE;1", "\\SETUP.EXE", "/DATA", "NONE",
                                "DATA\\READ.ME\\X", ".", "DATA\\..\\SETUP.EXE", "SETUP"})
        EXPECT_EQ(cd_exists(cd.get(), missing), 0) << missing;

    iso::iso_file e;
    ASSERT_TRUE(image(cd)->find("data/read.me", &e));
    EXPECT_STREQ(e.entry.name, "READ.ME");
    EXPECT_EQ(e.size, 1500u);
    EXPECT_EQ(e.entry.dir, 0);
    ASSERT_TRUE(image(cd)->find("Data", &e));
    EXPECT_EQ(e.entry.dir, 1);
    iso::iso_file untouched;
    strcpy(untouched.entry.name, "sentinel");
    EXPECT_TRUE(image(cd)->find("", &untouched));
    EXPECT_STREQ(untouched.entry.name, "sentinel");
}

// The mastered tree, as a plain image and as raw Mode 1 and Mode 2 sectors
// reached through their cue sheets.
TEST(IsoImage, TotalAndExtractionReproduceTheTreeInEveryLayout) {
    const files want = tree_files(fixture("tree"));
    ASSERT_GT(want.size(), 100u);
    for (const char* image : {"tree.iso", "tree_m1.cue", "tree_m2.cue"}) {
        source cd = open(fixture(image));
        ASSERT_TRUE(cd) << image;
        EXPECT_EQ(cd_total_bytes(cd.get()), bytes_of(want)) << image;
        EXPECT_EQ(cd_exists(cd.get(), "docs\\notes.txt"), 1) << image;

        std::string out = scratch(std::string("iso_tree_") + image) + "\\disc";
        progress p{0, 0, nullptr, nullptr};
        ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), &p), 1) << image;
        EXPECT_EQ(p.done, bytes_of(want)) << image;
        files got = tree_files(out);
        ASSERT_EQ(got.size(), want.size()) << image;
        for (size_t i = 0; i < got.size(); i++) {
            EXPECT_EQ(got[i].first, want[i].first) << image;
            EXPECT_TRUE(got[i].second == want[i].second) << image << ": " << got[i].first;
        }
        EXPECT_TRUE(is_dir((out + "\\EMPTYDIR").c_str())) << image;
        // The hidden file arrives, as a normal file.
        DWORD attrs = GetFileAttributesA((out + "\\DOCS\\HIDDEN.TXT").c_str());
        ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES) << image;
        EXPECT_EQ(attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u) << image;
    }
}

TEST(IsoImage, HiddenFilesAreListedCountedAndCopied) {
    source cd = open(fixture("crafted\\lookup.iso"));
    ASSERT_TRUE(cd);
    EXPECT_EQ(names(image(cd)->list("")), (std::vector<std::string>{"DATA", "HIDDEN.TXT", "SETUP.EXE"}));
    EXPECT_EQ(cd_total_bytes(cd.get()), 5000u);
    std::string out = scratch("iso_lookup");
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    EXPECT_TRUE(slurp(out + "\\HIDDEN.TXT") == pattern(500));
    EXPECT_TRUE(slurp(out + "\\SETUP.EXE") == pattern(3000));
    EXPECT_TRUE(slurp(out + "\\DATA\\READ.ME") == pattern(1500));
}

TEST(IsoDir, LargeDirectoriesAreListedWholeInDiscOrder) {
    source cd = open(fixture("crafted\\big-dir.iso"));
    ASSERT_TRUE(cd);
    iso::iso_file many;
    ASSERT_TRUE(image(cd)->find("MANY", &many));
    EXPECT_EQ(many.entry.size, 4 * 2048u);
    std::vector<std::string> want;
    for (int i = 0; i < 150; i++) {
        char n[16];
        snprintf(n, sizeof n, "FILE%03d.DAT", i);
        want.push_back(n);
    }
    EXPECT_EQ(names(image(cd)->list("MANY")), want);

    source tree = open(fixture("tree_m2.bin"));
    ASSERT_TRUE(tree);
    std::vector<std::string> listed = names(image(tree)->list("many"));
    EXPECT_EQ(listed.size(), 100u);
    EXPECT_EQ(listed, names_in(fixture("tree\\MANY"))) << "the mastering tool sorts names";
}

// The meter counts every file's bytes as they arrive: its count stops at
// each file's end, so it moves file by file and adds up to the total.
TEST(IsoCopy, FileDataArrivesWholeAndTheMeterMovesFileByFile) {
    source cd = open(fixture("crafted\\big-dir.iso"));
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), 101650u);
    std::string out = scratch("iso_bigdir");
    advances a;
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), &a.p), 1);
    EXPECT_EQ(a.p.done, 101650u);
    std::vector<uint64_t> counts;
    for (uint64_t s : a.steps) {
        EXPECT_GT(s, 0u) << "an advance moves the meter on";
        counts.push_back((counts.empty() ? 0 : counts.back()) + s);
    }
    // BIG.DAT comes first, then the 150 files of 11 bytes in MANY.
    std::vector<uint64_t> ends{100000};
    for (uint64_t k = 1; k <= 150; k++) ends.push_back(100000 + 11 * k);
    for (uint64_t end : ends)
        EXPECT_TRUE(std::binary_search(counts.begin(), counts.end(), end)) << "the count stops at " << end;
    EXPECT_EQ(counts.back(), 101650u);
    EXPECT_TRUE(slurp(out + "\\BIG.DAT") == pattern(100000));
    std::vector<uint8_t> last = slurp(out + "\\MANY\\FILE149.DAT");
    EXPECT_EQ(std::string(last.begin(), last.end()), "entry 149\r\n");
    EXPECT_EQ(names_in(out + "\\MANY").size(), 150u);
}

// Large files move the meter while they are copied, not only at their end,
// and pass through memory that does not grow with them: the mastered tree,
// whose first folder is BIG (LARGE.BIN of 2.5 MiB, then OVER1M.BIN of
// 1 MiB + 1), in every layout.
TEST(IsoCopy, LargeFilesMoveTheMeterInBoundedMemory) {
    const uint64_t large = 2621440, over1m = 1048577;
    const files want = tree_files(fixture("tree\\BIG"));
    ASSERT_EQ(bytes_of(want), large + over1m);
    for (const char* image : {"tree.iso", "tree_m1.cue", "tree_m2.cue"}) {
        source cd = open(fixture(image));
        ASSERT_TRUE(cd) << image;
        const std::string out = scratch(std::string("iso_large_") + image);
        advances a;
        a.steps.reserve(4096);  // no allocation of the meter's own while the copy runs
        a.watch_memory = true;
        const uint64_t before = working_set();
        ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), &a.p), 1) << image;
        EXPECT_TRUE(tree_files(out + "\\BIG") == want) << image;
        EXPECT_EQ(a.p.done, cd_total_bytes(cd.get())) << image;
        uint64_t count = 0;
        size_t in_large = 0;
        for (uint64_t s : a.steps) {
            if (count < large) in_large++;
            count += s;
            EXPECT_TRUE(count <= large || count - s >= large) << image << ": the count stops at LARGE.BIN's end";
        }
        EXPECT_GE(in_large, 2u) << image << ": LARGE.BIN moved the meter once, at its end";
        EXPECT_LT(a.peak, before + 1048576) << image << ": before " << before << ", at most " << a.peak;
    }
}

TEST(IsoImage, DeepTreesKeepSixteenLevels) {
    const files source_tree = tree_files(fixture("deep"));
    const files kept = shallow(source_tree, 16);
    ASSERT_GT(source_tree.size(), kept.size());
    source cd = open(fixture("deep.iso"));
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), bytes_of(kept));
    std::string out = scratch("iso_deep");
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    EXPECT_TRUE(tree_files(out) == kept);

    std::string level16 = out;
    for (int i = 1; i <= 16; i++) level16 += (i < 10 ? "\\LEVEL0" : "\\LEVEL") + std::to_string(i);
    EXPECT_TRUE(is_dir(level16.c_str()));
    EXPECT_FALSE(path_exists((level16 + "\\LEVEL17").c_str()));
    // A lookup goes as deep as its path.
    std::string rel;
    for (int i = 1; i <= 20; i++) rel += (i < 10 ? "LEVEL0" : "LEVEL") + std::to_string(i) + "\\";
    EXPECT_EQ(cd_exists(cd.get(), (rel + "FILE20.TXT").c_str()), 1);

    // The crafted tree of the same shape: files at levels 0 to 16 of 100 + k bytes.
    cd = open(fixture("crafted\\deep.iso"));
    ASSERT_TRUE(cd);
    uint64_t want = 0;
    for (int k = 0; k <= 16; k++) want += 100 + k;
    EXPECT_EQ(cd_total_bytes(cd.get()), want);
    out = scratch("iso_deep_crafted");
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    files got = tree_files(out);
    EXPECT_EQ(got.size(), 17u);
    EXPECT_EQ(bytes_of(got), want);
}

TEST(IsoImage, NamesArriveAsCleanedFromTheDisc) {
    source cd = open(fixture("crafted\\names.iso"));
    ASSERT_TRUE(cd);
    log_capture log("iso_names");
    std::string out = scratch("iso_names");
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    std::string long_name;
    while (long_name.size() < 63) long_name += "LONG";
    long_name.resize(63);
    std::vector<std::string> want = {"ABC", std::string(63, 'B'), long_name, "NOVER.TXT", "README", "X.TXT",
                                     "lower.txt"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names_in(out), want);
    // Two names equal in their first 63 bytes land on one file: the first
    // keeps it, and the log names the second.
    EXPECT_EQ(slurp(out + "\\" + std::string(63, 'B')).size(), 25u);
    EXPECT_EQ(log.last(), "skipped " + std::string(63, 'B') + ": the file system takes it for " +
                              std::string(63, 'B') + ", which came before it");
}

TEST(IsoCopy, TruncatedImageFailsWithTheEntryName) {
    source cd = open(fixture("crafted\\truncated.iso"));
    ASSERT_TRUE(cd);
    std::string out = scratch("iso_truncated");
    log_capture log("iso_truncated");
    advances a;
    EXPECT_EQ(cd_copy_all(cd.get(), out.c_str(), &a.p), 0);
    EXPECT_EQ(log.last(), "read error in CUT.DAT");
    iso::iso_file whole;
    ASSERT_TRUE(image(cd)->find("A.TXT", &whole));
    EXPECT_EQ(slurp(out + "\\A.TXT").size(), whole.size);
    // What was read before the failure stays: whole sectors of the cut file,
    // as the disc has them, no more than the 34 the image holds, and each
    // counted by the meter.
    const std::vector<uint8_t> kept = slurp(out + "\\CUT.DAT");
    EXPECT_GT(kept.size(), 0u);
    EXPECT_LE(kept.size(), 34u * 2048);
    EXPECT_EQ(kept.size() % 2048, 0u);
    EXPECT_TRUE(kept == pattern(kept.size()));
    EXPECT_EQ(a.p.done, whole.size + kept.size());
}

TEST(IsoCopy, ExtentsOutsideTheImage) {
    // A file recorded as 4 GiB fails at its first chunk; the directories that
    // cannot lie inside the image list nothing and are never allocated.
    source cd = open(fixture("crafted\\huge-file.iso"));
    ASSERT_TRUE(cd);
    log_capture log("iso_hugefile");
    std::string out = scratch("iso_hugefile");
    EXPECT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 0);
    EXPECT_EQ(log.last(), "read error in HUGE.DAT");

    cd = open(fixture("crafted\\huge-dir.iso"));
    ASSERT_TRUE(cd);
    PROCESS_MEMORY_COUNTERS before{}, after{};
    before.cb = after.cb = sizeof before;
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before));
    std::vector<iso_entry> root = image(cd)->list("");
    ASSERT_EQ(names(root), (std::vector<std::string>{"BIGGER", "FAR", "HUGE", "OK.TXT"}));
    for (int i = 0; i < 3; i++) EXPECT_TRUE(image(cd)->list(root[i].name).empty()) << root[i].name;
    EXPECT_EQ(cd_total_bytes(cd.get()), 15u);
    out = scratch("iso_hugedir");
    EXPECT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    EXPECT_EQ(slurp(out + "\\OK.TXT").size(), 15u);
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after));
    EXPECT_LT(after.PeakWorkingSetSize, before.PeakWorkingSetSize + (64u << 20));
}

TEST(IsoCopy, LoopsAndSharedDirectoriesAreWalkedOnce) {
    source cd = open(fixture("crafted\\loop.iso"));
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), 600u);
    std::string out = scratch("iso_loop");
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    files got = tree_files(out);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].first, "A\\B\\FB.TXT");
    EXPECT_EQ(got[1].first, "A\\FA.TXT");
    EXPECT_EQ(got[2].first, "FILE.TXT");
    EXPECT_EQ(cd_exists(cd.get(), "LOOP\\LOOP\\A\\B\\BACK\\B\\SELF\\FB.TXT"), 1) << "lookups follow any path";

    // Ten levels of ten records each pointing at the next level: each level once.
    cd = open(fixture("crafted\\shared.iso"));
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), 1100u);
    out = scratch("iso_shared");
    progress p{0, 0, nullptr, nullptr};
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), &p), 1);
    EXPECT_EQ(p.done, 1100u);
    got = tree_files(out);
    EXPECT_EQ(got.size(), 11u);
    EXPECT_EQ(bytes_of(got), 1100u);
}

TEST(IsoCopy, BadRecordsEndTheirSectorOnly) {
    source cd = open(fixture("crafted\\bad-records.iso"));
    ASSERT_TRUE(cd);
    EXPECT_EQ(names(image(cd)->list("")), (std::vector<std::string>{"A.TXT", "IDLEN", "LENPAST", "SHORTREC", "Z.TXT"}));
    auto pads = [](int n) {
        std::vector<std::string> v{"GOOD.TXT"};
        for (int i = 1; i <= n; i++) v.push_back((i < 10 ? "PAD0" : "PAD") + std::to_string(i) + ".DAT");
        return v;
    };
    EXPECT_EQ(names(image(cd)->list("IDLEN")), pads(8));
    EXPECT_EQ(names(image(cd)->list("LENPAST")), pads(8));
    // After the short record the rest of its sector is lost, the next sector is not.
    EXPECT_EQ(names(image(cd)->list("SHORTREC")), pads(9));
    EXPECT_EQ(cd_exists(cd.get(), "SHORTREC\\AFTER.TXT"), 0);

    std::string out = scratch("iso_badrecords");
    EXPECT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    EXPECT_EQ(slurp(out + "\\SHORTREC\\GOOD.TXT").size(), 6u);
    EXPECT_TRUE(path_exists((out + "\\Z.TXT").c_str()));
}

// A file recorded in two pieces arrives as both, joined in order.
TEST(IsoCopy, MultiExtentAndEmptyImages) {
    source cd = open(fixture("crafted\\multi-extent.iso"));
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), 5000u);
    std::string out = scratch("iso_multi");
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    std::vector<uint8_t> want(3000, 'A');
    want.resize(5000, 'B');
    EXPECT_TRUE(slurp(out + "\\PARTS.DAT") == want);

    cd = open(fixture("crafted\\empty.iso"));
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd_total_bytes(cd.get()), 0u);
    out = scratch("iso_empty") + "\\made";
    ASSERT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 1);
    EXPECT_TRUE(is_dir(out.c_str()));
}

std::string unhex(const std::string& hex) {
    std::string out;
    if (hex == "-") return out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// Every unsafe name, as a file and as a folder: the extraction stops with a
// line naming the entry, and nothing appears outside the target folder.
TEST(IsoCopy, UnsafeNamesStopTheExtraction) {
    std::vector<uint8_t> index = slurp(fixture("crafted\\unsafe\\index.txt"));
    std::istringstream lines(std::string(index.begin(), index.end()));
    log_capture log("iso_unsafe");
    const std::string all = scratch("iso_unsafe");
    int cases = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string label, id, decoded;
        fields >> label >> id >> decoded;
        const std::string shown = unhex(decoded);
        for (const char* kind : {"", "-dir"}) {
            std::string image = label + kind;
            // Some image files are named like devices themselves (con.iso): the
            // long path form opens them as files.
            source cd = open("\\\\?\\" + fixture("crafted\\unsafe\\" + image + ".iso"));
            ASSERT_TRUE(cd) << image;
            std::string parent = scratch("iso_unsafe\\" + std::to_string(cases));
            std::string out = parent + "\\out";
            EXPECT_EQ(cd_copy_all(cd.get(), out.c_str(), nullptr), 0) << image;
            EXPECT_EQ(log.last(), "unsafe name on disc: " + shown) << image;
            EXPECT_EQ(names_in(parent), std::vector<std::string>{"out"}) << image;
            EXPECT_EQ(names_in(out), std::vector<std::string>{"A_FIRST.TXT"}) << image;
            EXPECT_EQ(cd_exists(cd.get(), "A_FIRST.TXT"), 1);
            cases++;
        }
    }
    EXPECT_GE(cases, 2 * 26);
    EXPECT_FALSE(path_exists("C:\\ESC.TXT"));
    EXPECT_FALSE(path_exists("C:\\ESCAPED.TXT"));
    EXPECT_EQ(names_in(all).size(), size_t(cases));
}

}  // namespace

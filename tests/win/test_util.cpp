// File utilities, progress meter and setup log against the real file system
// under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "links.h"
#include "log.h"
#include "run_mode.h"
#include "testutil.h"
#include "window.h"
#include "util.h"

namespace {

struct recorder {
    std::vector<uint64_t> done;
    static void on(uint64_t d, uint64_t, void* user) {
        static_cast<recorder*>(user)->done.push_back(d);
    }
};

std::string pattern_bytes(size_t n) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) s[i] = char(i * 7 + i / 4096);
    return s;
}

TEST(MakeDirs, CreatesChainsAndReportsPrefixFiles) {
    std::string root = scratch("make_dirs");
    std::string deep = root + "\\a\\b\\c";
    EXPECT_EQ(make_dirs(deep.c_str()), 1);
    EXPECT_TRUE(is_dir((root + "\\a\\b").c_str()));
    EXPECT_EQ(make_dirs(deep.c_str()), 1) << "an existing chain is fine";

    std::string fwd = root + "/x/y";
    EXPECT_EQ(make_dirs(fwd.c_str()), 1);
    EXPECT_TRUE(is_dir((root + "\\x\\y").c_str()));

    spit(root + "\\file", "x");
    EXPECT_EQ(make_dirs((root + "\\file\\sub").c_str()), 0);
    EXPECT_EQ(make_dirs((root + "\\file").c_str()), 0) << "a file is not a folder";
    EXPECT_FALSE(is_dir((root + "\\file").c_str()));
    EXPECT_TRUE(path_exists((root + "\\file").c_str()));
}

TEST(WriteReadFile, WholeFilesAndFailures) {
    log_capture log("write_read");
    std::string root = scratch("write_read");
    std::string nested = root + "\\new\\folder\\f.bin";
    EXPECT_EQ(write_file(nested.c_str(), "abc", 3), 1);
    EXPECT_EQ(write_file(nested.c_str(), "", 0), 1);
    uint64_t len = 99;
    unsigned char* data = read_file(nested.c_str(), &len);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(len, 0u) << "an empty file reads as a one-byte buffer of length 0";
    free(data);

    std::string payload = pattern_bytes(300000);
    ASSERT_EQ(write_file(nested.c_str(), payload.data(), payload.size()), 1);
    data = read_file(nested.c_str(), &len);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), len), payload);
    free(data);

    len = 7;
    EXPECT_EQ(read_file((root + "\\missing").c_str(), &len), nullptr);
    EXPECT_EQ(len, 7u);

    // Only a backslash marks the parent folder: with forward slashes none is made.
    std::string fwd = root + "/nofolder/f.bin";
    EXPECT_EQ(write_file(fwd.c_str(), "x", 1), 0);
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 2u) << log.raw();
    EXPECT_EQ(lines[1].rfind("cannot write " + fwd + " (error ", 0), 0u) << lines[1];
}

TEST(FileCopy, BytesArriveWholeAndTheMeterAddsUp) {
    std::string root = scratch("copy_file");
    std::string src = root + "\\src.bin", dst = root + "\\out\\dst.bin";
    std::string payload = pattern_bytes(2621440);  // 2.5 MiB
    spit(src, payload);
    recorder rec;
    progress p{100, 5, recorder::on, &rec};
    ASSERT_EQ(copy_file(src.c_str(), dst.c_str(), &p), 1);
    ASSERT_FALSE(rec.done.empty());
    for (size_t i = 0; i < rec.done.size(); i++)
        EXPECT_GT(rec.done[i], i ? rec.done[i - 1] : 100) << "every advance moves the meter on";
    EXPECT_EQ(rec.done.back(), 100u + payload.size()) << "from where the meter stood, by the file's size";
    EXPECT_EQ(p.total, 5u) << "the total belongs to the owner of the meter";
    auto out = slurp(dst);
    EXPECT_EQ(std::string(out.begin(), out.end()), payload);

    spit(src, "");
    rec.done.clear();
    ASSERT_EQ(copy_file(src.c_str(), dst.c_str(), &p), 1);
    EXPECT_TRUE(rec.done.empty()) << "an empty file advances nothing";
    EXPECT_TRUE(slurp(dst).empty());

    spit(src, "abc");
    EXPECT_EQ(copy_file(src.c_str(), dst.c_str(), nullptr), 1);
    EXPECT_EQ(slurp(dst).size(), 3u);
}

// Block k of a large test file: a block out of place or repeated shows.
std::string block(size_t k, size_t size) {
    std::string b(size, 0);
    for (size_t i = 0; i < size; i++) b[i] = char(i * 7 + i / 4096 + k * 31);
    return b;
}

// A meter that records each count and the largest working set seen at any
// of them, while the copy runs.
struct watcher {
    std::vector<uint64_t> done;
    uint64_t peak = 0;
    static void on(uint64_t d, uint64_t, void* user) {
        auto* self = static_cast<watcher*>(user);
        self->done.push_back(d);
        self->peak = std::max(self->peak, working_set());
    }
};

// A large file moves the meter while it is copied, not only at its end, and
// passes through memory that does not grow with it.
TEST(FileCopy, LargeFilesMoveTheMeterInBoundedMemory) {
    const size_t MiB = 1048576, blocks = 32;
    std::string root = scratch("copy_large");
    std::string src = root + "\\src.bin", dst = root + "\\dst.bin";
    {
        std::ofstream f(src, std::ios::binary);
        for (size_t k = 0; k < blocks; k++) f << block(k, MiB);
    }
    watcher w;
    w.done.reserve(blocks * MiB / 512);  // no allocation of the watcher's own while the copy runs
    progress p{0, 0, watcher::on, &w};
    const uint64_t before = working_set();
    ASSERT_GT(before, 0u);
    ASSERT_EQ(copy_file(src.c_str(), dst.c_str(), &p), 1);
    ASSERT_GE(w.done.size(), 2u) << "the meter moved only when the copy had ended";
    EXPECT_LT(w.done.front(), blocks * MiB);
    EXPECT_EQ(w.done.back(), blocks * MiB);
    EXPECT_LT(w.peak, before + 8 * MiB) << "before " << before << ", at most " << w.peak << " during the copy";

    std::ifstream f(dst, std::ios::binary);
    std::string got(MiB, 0);
    for (size_t k = 0; k < blocks; k++) {
        ASSERT_TRUE(f.read(&got[0], MiB)) << "block " << k;
        ASSERT_TRUE(got == block(k, MiB)) << "block " << k;
    }
    EXPECT_EQ(f.get(), EOF) << "nothing after the last block";
}

TEST(FileCopy, FailuresAreLoggedAndLeaveThePartialTarget) {
    log_capture log("copy_fail");
    std::string root = scratch("copy_fail");
    std::string src = root + "\\src.bin", dst = root + "\\dst.bin";
    EXPECT_EQ(copy_file(src.c_str(), dst.c_str(), nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << "the code is left for the caller";
    EXPECT_EQ(log.last(), "cannot read " + src + " (" + error_text(ERROR_FILE_NOT_FOUND) + ")");

    // A target that cannot be created: its name is taken by a folder.
    spit(src, "abc");
    make_dirs((root + "\\busy").c_str());
    EXPECT_EQ(copy_file(src.c_str(), (root + "\\busy").c_str(), nullptr), 0);
    EXPECT_EQ(log.last(), "cannot write " + root + "\\busy (" + error_text(ERROR_ACCESS_DENIED) + ")");


    // A copy onto a 1.5 MiB file system runs out of space part of the way.
    std::string small = build_path("smallfs");
    const std::string payload = pattern_bytes(3 * 1048576);
    const std::vector<uint8_t> source(payload.begin(), payload.end());
    spit(src, payload);
    recorder rec;
    progress p{0, 0, recorder::on, &rec};
    std::string probe = small + "\\probe";
    spit(probe, "x");
    if (!path_exists(probe.c_str())) GTEST_SKIP() << "no small file system mounted";
    EXPECT_EQ(copy_file(src.c_str(), (small + "\\dst.bin").c_str(), &p), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
    // The system's own words, not only its number.
    EXPECT_EQ(log.last(), "cannot write " + small + "\\dst.bin (" + error_text(ERROR_DISK_FULL) + ")")
        << "the file and the reason";
    EXPECT_EQ(error_text(ERROR_DISK_FULL).rfind("error 112: ", 0), 0u) << error_text(ERROR_DISK_FULL);
    const std::vector<uint8_t> part = slurp(small + "\\dst.bin");
    EXPECT_GE(part.size(), 1048576u) << "the part written before the failure stays";
    EXPECT_LE(part.size(), source.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), source.begin())) << "and holds the source's first bytes";
    if (!rec.done.empty()) {
        EXPECT_LE(rec.done.back(), part.size()) << "the meter counted only what was written";
    }
    DeleteFileA((small + "\\dst.bin").c_str());

    // A whole file written in one call fails the same way.
    EXPECT_EQ(write_file((small + "\\whole.bin").c_str(), pattern_bytes(3 * 1048576).data(), 3 * 1048576), 0);
    EXPECT_EQ(log.last(), "cannot write " + small + "\\whole.bin (" + error_text(ERROR_DISK_FULL) + ")");
    DeleteFileA((small + "\\whole.bin").c_str());

}

TEST(Progress, EveryAdvanceReachesTheCallback) {
    recorder rec;
    progress p{0, 10, recorder::on, &rec};
    progress_add(&p, 0);
    progress_add(&p, 25);
    EXPECT_EQ(rec.done, (std::vector<uint64_t>{0, 25}));
    progress q{3, 0, nullptr, nullptr};
    progress_add(&q, 4);
    EXPECT_EQ(q.done, 7u);
}

TEST(DeleteTree, RemovesEverythingButNeverEntersALinkedFolder) {
    std::string root = scratch("delete_tree");
    std::string tree = root + "\\tree";
    make_dirs((tree + "\\hidden\\deeper").c_str());
    spit(tree + "\\ro.txt", "ro");
    spit(tree + "\\hidden\\deeper\\f", "f");
    SetFileAttributesA((tree + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((tree + "\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(delete_tree(tree.c_str()), 0);
    EXPECT_FALSE(path_exists(tree.c_str()));
    EXPECT_EQ(delete_tree(tree.c_str()), 0) << "a missing folder is not removed";

    // The fixture's tree holds host symlinks to a folder, to an empty folder
    // and to a file outside it. Wine would remove the empty folder or the file
    // that such a link leads to, not the link, so here the links stay (on
    // Windows a junction or symbolic link is unlinked); what matters is that
    // nothing they lead to changes.
    std::string linked = fixture("linktree\\tree");
    DWORD a = GetFileAttributesA((linked + "\\link").c_str());
    ASSERT_NE(a, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(a & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(delete_tree(linked.c_str()), 0) << "the links keep the folder";
    EXPECT_EQ(slurp(fixture("linktree\\victim\\canary.txt")), (std::vector<uint8_t>{'c', 'a', 'n', 'a', 'r', 'y', '\n'}));
    EXPECT_TRUE(is_dir(fixture("linktree\\victim\\empty").c_str()));
    EXPECT_FALSE(path_exists((linked + "\\plain.txt").c_str()));

    // A top folder that is itself a link is neither entered nor removed.
    EXPECT_EQ(delete_tree(fixture("linktree\\top").c_str()), 0);
    EXPECT_TRUE(path_exists(fixture("linktree\\victim\\canary.txt").c_str()));
}

TEST(Links, TellsLinksFromPlainFilesAndFolders) {
    std::string look = fixture("linktree\\look");
    EXPECT_EQ(is_link((look + "\\plain").c_str()), 0);
    EXPECT_EQ(is_link((look + "\\plain\\file.txt").c_str()), 0);
    EXPECT_EQ(is_link((look + "\\plain\\sub\\").c_str()), 0) << "a trailing separator names the folder";
    EXPECT_EQ(is_link((look + "\\plain\\none").c_str()), 0) << "nothing is no link";
    EXPECT_EQ(is_link((look + "\\folderlink").c_str()), 1);
    EXPECT_EQ(is_link((look + "\\folderlink\\").c_str()), 1);
    EXPECT_EQ(is_link((look + "\\filelink").c_str()), 1) << "Wine shows it as a plain file";
    EXPECT_EQ(is_link((look + "\\sibling").c_str()), 1) << "a link to a file in the same folder";
    EXPECT_EQ(is_link((look + "\\folderlink\\canary.txt").c_str()), 0) << "a plain file behind a link";
    EXPECT_EQ(is_link("Z:\\"), 0) << "a root is never a link, though Wine shows Z: as a reparse point";
    EXPECT_EQ(is_link("C:\\"), 0);
    EXPECT_EQ(is_link((look + "\\*").c_str()), 0) << "a wildcard names nothing";
    // Wine shows the small file system's mount point as a reparse point.
    std::string small = build_path("smallfs");
    if (GetFileAttributesA(small.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) {
        EXPECT_EQ(is_link(small.c_str()), 0) << "a folder where a volume is mounted";
    }

    char found[520] = "";
    EXPECT_EQ(link_in_chain((look + "\\plain\\sub").c_str(), found, sizeof found), 0);
    EXPECT_EQ(link_in_chain((look + "\\plain\\new\\deeper").c_str(), found, sizeof found), 0);
    EXPECT_EQ(link_in_chain((look + "\\folderlink\\empty\\new").c_str(), found, sizeof found), 1);
    EXPECT_EQ(found, look + "\\folderlink") << "the link, not what lies below it";
    EXPECT_EQ(link_in_chain((look + "/folderlink").c_str(), found, sizeof found), 1);
    EXPECT_EQ(found, look + "\\folderlink");
}

TEST(Links, NeitherRemovalNorWriteReachesWhatALinkLeadsTo) {
    log_capture log("links_write");
    std::string look = fixture("linktree\\look");
    const std::vector<uint8_t> canary = slurp(fixture("linktree\\victim\\canary.txt"));
    EXPECT_EQ(remove_file((look + "\\filelink").c_str()), 0);
    EXPECT_EQ(remove_file((look + "\\folderlink").c_str()), 0);
    EXPECT_EQ(slurp(fixture("linktree\\victim\\canary.txt")), canary);

    // A link that leads nowhere is invisible under Wine, but its name is
    // taken: a write would create the file where it leads.
    EXPECT_FALSE(path_exists((look + "\\nowhere").c_str()));
    EXPECT_EQ(write_file((look + "\\nowhere").c_str(), "x", 1), 0);
    EXPECT_EQ(log.last(), "cannot write " + look + "\\nowhere (" + error_text(ERROR_FILE_EXISTS) + ")");
    EXPECT_FALSE(path_exists(fixture("linktree\\victim\\missing.txt").c_str()));

    std::string root = scratch("links_write");
    spit(root + "\\plain.txt", "old");
    EXPECT_EQ(remove_file((root + "\\plain.txt").c_str()), 1);
    EXPECT_FALSE(path_exists((root + "\\plain.txt").c_str()));
}

TEST(SetupLog, LinesAreCutFlushedAndEndWithCrLf) {
    setup_log("before the log is open: %d", 1);  // goes nowhere
    log_capture log("setup_log");
    std::string longline(1500, 'x');
    setup_log("%s", longline.c_str());
    setup_log("value %d and %s", 42, "text");
    // Every line is on disk before setup_log returns.
    std::string raw = log.raw();
    EXPECT_EQ(raw, "setup started\r\n" + std::string(1023, 'x') + "\r\nvalue 42 and text\r\n");
}

TEST(SetupLog, ReopeningEmptiesThePreviousRun) {
    { log_capture first("reopen"); setup_log("old line"); }
    log_capture second("reopen");
    EXPECT_EQ(second.lines(), std::vector<std::string>{"setup started"});
}

TEST(SetupLog, WindowModePostsHeapCopies) {
    HWND w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    log_capture log("window");
    log_set_window(w);
    setup_log("to the window %d", 7);
    set_unattended(true);
    setup_log("silent: file only");
    set_unattended(false);
    log_set_window(nullptr);

    std::vector<std::string> got;
    MSG m;
    while (PeekMessageA(&m, w, WM_LOG_LINE, WM_LOG_LINE, PM_REMOVE)) {
        char* line = reinterpret_cast<char*>(m.lParam);
        got.push_back(line);
        EXPECT_EQ(m.wParam, 0u);
        free(line);
    }
    DestroyWindow(w);
    EXPECT_EQ(got, std::vector<std::string>{"to the window 7"});
    EXPECT_EQ(log.last(), "silent: file only");
}

}  // namespace

namespace {

// The test programs carry setup.exe's manifest, so their code page is UTF-8.
TEST(Text, CutsNeverSplitACharacter) {
    ASSERT_EQ(GetACP(), UINT(CP_UTF8));
    char out[8];
    // "aбвг" is 1 + 3 x 2 bytes; 7 fit, so the cut falls inside the last letter.
    EXPECT_EQ(text_printf(out, sizeof out, "%s%s", "a", "\xd0\xb1\xd0\xb2\xd0\xb3"), 7);
    EXPECT_STREQ(out, "a\xd0\xb1\xd0\xb2\xd0\xb3");
    EXPECT_EQ(text_printf(out, sizeof out, "ab%s", "\xd0\xb1\xd0\xb2\xd0\xb3"), 8);
    EXPECT_STREQ(out, "ab\xd0\xb1\xd0\xb2") << "the cut letter goes whole";
    const char* emoji = "\xf0\x9f\x8e\xae";  // four bytes
    for (size_t size = 1; size <= 8; size++) {
        char small[8];
        text_printf(small, size, "xyz%s", emoji);
        EXPECT_EQ(strlen(small), size <= 4 ? size - 1 : size < 8 ? 3u : 7u) << size;
    }
    char path[PATH_CHARS];
    std::string cjk;
    for (int i = 0; i < 200; i++) cjk += "\xe6\xb8\xb8";  // 600 bytes
    text_printf(path, sizeof path, "C:\\A%s", cjk.c_str());
    EXPECT_EQ(strlen(path), 4u + 171 * 3) << "519 bytes hold 171 whole letters after C:\\A";
}

TEST(Text, PathsCompareWithoutRegardToCaseInEveryScript) {
    EXPECT_TRUE(same_path("C:\\Games\\\xd0\x98\xd0\xb3\xd1\x80\xd0\xb0", "c:\\GAMES\\\xd0\xb8\xd0\x93\xd0\xa0\xd0\x90"));
    EXPECT_FALSE(same_path("C:\\Games\\a", "C:\\Games\\b"));
    EXPECT_FALSE(same_path("C:\\Games", "C:\\Games\\"));
}

}  // namespace

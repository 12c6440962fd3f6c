// The icon transplant against real program files under Wine: icon files,
// other programs' icon groups and the emblem picture written into copies of
// programs, and read back through the platform's own resource lookup.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "handles.h"
#include "install.h"
#include "testutil.h"

namespace {

using bytes = std::vector<uint8_t>;
using lines = std::vector<std::string>;

// The line that names why a program that is not there cannot take an icon.
std::string not_found(const std::string& exe) {
    return "cannot change the resources of " + exe + " (" + error_text(ERROR_FILE_NOT_FOUND) + ")";
}

void put16(bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(bytes& b, uint32_t v) {
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}
bytes text(const char* s) { return bytes(s, s + strlen(s)); }

// Resources of a program file, loaded as data.
class resources {
public:
    explicit resources(const std::string& path)
        : m_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    bool loaded() const { return bool(m_); }

    // Names of one type in the order the platform reports them: "#id" or the string.
    lines names(LPCSTR type) const {
        lines out;
        EnumResourceNamesA(m_.get(), type, on_name, reinterpret_cast<LONG_PTR>(&out));
        return out;
    }
    std::vector<WORD> langs(LPCSTR type, LPCSTR name) const {
        std::vector<WORD> out;
        EnumResourceLanguagesA(m_.get(), type, name, on_lang, reinterpret_cast<LONG_PTR>(&out));
        return out;
    }
    std::optional<bytes> get(LPCSTR type, LPCSTR name, WORD lang = 0) const {
        HRSRC r = FindResourceExA(m_.get(), type, name, lang);
        if (!r) return std::nullopt;
        DWORD size = SizeofResource(m_.get(), r);
        auto p = static_cast<const uint8_t*>(LockResource(LoadResource(m_.get(), r)));
        if (!p) return size == 0 ? std::optional<bytes>(bytes()) : std::nullopt;
        return bytes(p, p + size);
    }
    std::optional<bytes> get(LPCSTR type, WORD id, WORD lang = 0) const {
        return get(type, MAKEINTRESOURCEA(id), lang);
    }
    // Where the data entry of a resource lies in the file (a data file is mapped flat).
    size_t entry_offset(LPCSTR type, WORD id) const {
        auto base = reinterpret_cast<uintptr_t>(m_.get()) & ~uintptr_t(3);
        return reinterpret_cast<uintptr_t>(FindResourceA(m_.get(), MAKEINTRESOURCEA(id), type)) - base;
    }

private:
    static BOOL CALLBACK on_name(HMODULE, LPCSTR, LPSTR name, LONG_PTR user) {
        auto out = reinterpret_cast<lines*>(user);
        out->push_back(IS_INTRESOURCE(name) ? "#" + std::to_string(uintptr_t(name)) : std::string(name));
        return TRUE;
    }
    static BOOL CALLBACK on_lang(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR user) {
        reinterpret_cast<std::vector<WORD>*>(user)->push_back(lang);
        return TRUE;
    }
    module_handle m_;
};

lines ids(int n) {
    lines out;
    for (int i = 1; i <= n; i++) out.push_back("#" + std::to_string(i));
    return out;
}

// RT_ICON 1 to n hold the images. Wine's resource writer leaves out data of
// length 0 rather than writing it empty; either way the group keeps the entry.
void expect_images(const resources& r, const std::vector<bytes>& images) {
    lines want, got;
    for (size_t i = 0; i < images.size(); i++)
        if (!images[i].empty()) want.push_back("#" + std::to_string(i + 1));
    for (const std::string& name : r.names(RT_ICON)) {
        auto b = name[0] == '#' ? r.get(RT_ICON, WORD(std::stoi(name.substr(1)))) : std::nullopt;
        if (!b || !b->empty()) got.push_back(name);
    }
    EXPECT_EQ(got, want);
    for (WORD i = 1; i <= images.size(); i++) {
        auto b = r.get(RT_ICON, i);
        if (images[i - 1].empty())
            EXPECT_TRUE(!b || b->empty()) << "image " << i;
        else
            EXPECT_EQ(b, images[i - 1]) << "image " << i;
    }
}

std::string game_exe() { return build_path("tolvenar_game.exe"); }
std::string icon_program(const char* name) { return build_path(std::string("icon\\") + name + ".exe"); }

// A copy of a program file to change, in the test's own scratch folder.
std::string copy_of(const std::string& program, const std::string& test, const char* name = "target.exe") {
    std::string exe = scratch("icon_" + test) + "\\" + name;
    EXPECT_TRUE(CopyFileA(program.c_str(), exe.c_str(), FALSE)) << program;
    return exe;
}

// Stages resources into a program file with the platform's writer, to make
// sources that no resource compiler makes.
void stage(const std::string& exe, WORD type, WORD id, const bytes& data) {
    HANDLE u = BeginUpdateResourceA(exe.c_str(), FALSE);
    ASSERT_NE(u, nullptr);
    UpdateResourceA(u, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(id), 0, const_cast<uint8_t*>(data.data()),
                    DWORD(data.size()));
    ASSERT_TRUE(EndUpdateResourceA(u, FALSE));
}

struct image {
    uint8_t width, height;
    uint16_t bpp;
    bytes data;
};

// An icon file: the directory, then the images one after another.
bytes ico_file(const std::vector<image>& images) {
    bytes out;
    put16(out, 0);
    put16(out, 1);
    put16(out, uint16_t(images.size()));
    uint32_t at = uint32_t(6 + 16 * images.size());
    for (const image& im : images) {
        out.insert(out.end(), {im.width, im.height, 0, 0});
        put16(out, 1);
        put16(out, im.bpp);
        put32(out, uint32_t(im.data.size()));
        put32(out, at);
        at += uint32_t(im.data.size());
    }
    for (const image& im : images) out.insert(out.end(), im.data.begin(), im.data.end());
    return out;
}

// A group icon directory with entries of one plane and no colour count.
struct gentry {
    uint8_t width, height;
    uint16_t bpp;
    uint32_t length;
    uint16_t id;
};
bytes group(const std::vector<gentry>& entries) {
    bytes out;
    put16(out, 0);
    put16(out, 1);
    put16(out, uint16_t(entries.size()));
    for (const gentry& e : entries) {
        out.insert(out.end(), {e.width, e.height, 0, 0});
        put16(out, 1);
        put16(out, e.bpp);
        put32(out, e.length);
        put16(out, e.id);
    }
    return out;
}

bytes pattern(size_t n, unsigned seed) {
    bytes b(n);
    for (size_t i = 0; i < n; i++) b[i] = uint8_t(i * 31 + seed);
    return b;
}

int ico(const std::string& exe, const bytes& file, size_t len) { return inject_icon_ico(exe.c_str(), file.data(), len); }
int ico(const std::string& exe, const bytes& file) { return ico(exe, file, file.size()); }

// Icon file images ----------------------------------------------------------

TEST(IconFile, GameProgramGetsImagesAndGroupAtLanguageNeutral) {
    {
        resources payload(game_exe());
        ASSERT_TRUE(payload.loaded());
        EXPECT_TRUE(payload.names(RT_GROUP_ICON).empty()) << "the payload carries no icon of its own";
        EXPECT_TRUE(payload.names(RT_ICON).empty());
    }
    std::string exe = copy_of(game_exe(), "game");
    std::vector<image> images = {{16, 16, 32, text("abcde")}, {0, 0, 32, pattern(300, 1)}, {32, 32, 8, {}}};
    log_capture log("icon_game");
    ASSERT_EQ(ico(exe, ico_file(images)), 1);
    EXPECT_EQ(log.lines(), (lines{"setup started", "icon: 3 images from the CD"}));

    resources r(exe);
    ASSERT_TRUE(r.loaded());
    expect_images(r, {images[0].data, images[1].data, images[2].data});
    for (WORD i = 1; i <= 2; i++) EXPECT_EQ(r.langs(RT_ICON, MAKEINTRESOURCEA(i)), std::vector<WORD>{0});
    EXPECT_EQ(r.names(RT_GROUP_ICON), ids(1));
    EXPECT_EQ(r.langs(RT_GROUP_ICON, MAKEINTRESOURCEA(1)), std::vector<WORD>{0}) << "one group, nothing beside it";
    EXPECT_EQ(r.get(RT_GROUP_ICON, 1), group({{16, 16, 32, 5, 1}, {0, 0, 32, 300, 2}, {32, 32, 8, 0, 3}}));
}

TEST(IconFile, ResourcesAlreadyThereStay) {
    std::string exe = copy_of(icon_program("icon_target"), "keep");
    std::vector<image> first, second;
    for (int i = 0; i < 5; i++) first.push_back({uint8_t(8 * i), 16, 32, pattern(40 + i, 7)});
    for (int i = 0; i < 3; i++) second.push_back({uint8_t(100 + i), 24, 24, pattern(10 + 3 * i, 9)});
    log_capture log("icon_keep");
    ASSERT_EQ(ico(exe, ico_file(first)), 1);
    ASSERT_EQ(ico(exe, ico_file(second)), 1);
    EXPECT_EQ(log.lines(), (lines{"setup started", "icon: 5 images from the CD", "icon: 3 images from the CD"}));

    resources r(exe);
    ASSERT_TRUE(r.loaded());
    EXPECT_EQ(r.names(RT_ICON), ids(5));
    for (WORD i = 1; i <= 3; i++) EXPECT_EQ(r.get(RT_ICON, i), second[i - 1].data) << "image " << i;
    for (WORD i = 4; i <= 5; i++) EXPECT_EQ(r.get(RT_ICON, i), first[i - 1].data) << "earlier image " << i;
    EXPECT_EQ(r.get(RT_GROUP_ICON, 1), group({{100, 24, 24, 10, 1}, {101, 24, 24, 13, 2}, {102, 24, 24, 16, 3}}));
    EXPECT_EQ(r.names(RT_GROUP_ICON), ids(1));

    EXPECT_EQ(r.langs(RT_ICON, MAKEINTRESOURCEA(1)), (std::vector<WORD>{0, 1033}));
    EXPECT_EQ(r.get(RT_ICON, 1, 1033), text("english icon"));
    EXPECT_EQ(r.names(RT_RCDATA), (lines{"PAYLOAD", "#1"}));
    EXPECT_EQ(r.get(RT_RCDATA, "PAYLOAD"), text("payload bytes"));
    EXPECT_EQ(r.get(RT_RCDATA, 1), text("one"));
    EXPECT_EQ(r.names(RT_STRING), ids(1));
}

TEST(IconFile, CountZeroWritesAnEmptyGroup) {
    std::string exe = copy_of(game_exe(), "empty");
    log_capture log("icon_empty");
    ASSERT_EQ(ico(exe, bytes{0, 0, 1, 0, 0, 0}), 1);
    EXPECT_EQ(log.lines(), (lines{"setup started", "icon: 0 images from the CD"}));
    resources r(exe);
    EXPECT_TRUE(r.names(RT_ICON).empty());
    EXPECT_EQ(r.get(RT_GROUP_ICON, 1), (bytes{0, 0, 1, 0, 0, 0}));
}

TEST(IconFile, ImageOutOfRangeDropsTheWholeUpdate) {
    std::string exe = copy_of(icon_program("icon_exact"), "range");
    bytes before = slurp(exe);
    bytes file = ico_file({{16, 16, 32, pattern(50, 2)}, {32, 32, 32, pattern(60, 3)}, {48, 48, 32, pattern(70, 4)}});
    log_capture log("icon_range");
    // The last image ends one byte past the data: the two before it are staged and dropped.
    EXPECT_EQ(ico(exe, file, file.size() - 1), 0);
    EXPECT_EQ(log.lines(), (lines{"setup started", "ERROR: icon image out of range"}));
    EXPECT_TRUE(slurp(exe) == before) << "the program file must not change";

    EXPECT_EQ(ico(exe, file), 1) << "an image that ends at the last byte is in range";
    resources r(exe);
    EXPECT_EQ(r.get(RT_ICON, 3), pattern(70, 4));
}

TEST(IconFile, ChecksComeBeforeTheProgramIsOpened) {
    // A program that does not exist: only a file that passes both checks reaches it.
    std::string missing = scratch("icon_checks") + "\\missing.exe";
    log_capture log("icon_checks");
    EXPECT_EQ(ico(missing, bytes{0, 0, 1, 0, 0}), 0);
    EXPECT_EQ(ico(missing, bytes{0, 0, 2, 0, 0, 0}), 0) << "a cursor file";
    EXPECT_EQ(ico(missing, bytes{1, 0, 1, 0, 0, 0}), 0);
    bytes two(37, 0);
    two[2] = 1;
    two[4] = 2;
    EXPECT_EQ(ico(missing, two), 0);
    two.push_back(0);  // 38 bytes hold the directory; both images are empty and at offset 0
    EXPECT_EQ(ico(missing, two), 0);
    EXPECT_EQ(ico(missing, bytes{0, 0, 1, 1, 0, 0}), 0) << "byte 3 is not examined";
    EXPECT_EQ(log.lines(), (lines{"setup started", "ERROR: icon file is not an .ico", "ERROR: icon file is not an .ico",
                                  "ERROR: icon file is not an .ico", "ERROR: icon file is truncated",
                                  not_found(missing), "ERROR: cannot update the game executable's icon",
                                  not_found(missing), "ERROR: cannot update the game executable's icon"}));
    EXPECT_FALSE(path_exists(missing.c_str()));
}

// An icon file whose directory entries all start at one image, each as long
// as its length says: the file holds the longest once.
bytes shared_image(const std::vector<uint32_t>& lengths) {
    bytes out;
    put16(out, 0);
    put16(out, 1);
    put16(out, uint16_t(lengths.size()));
    const uint32_t at = uint32_t(6 + 16 * lengths.size());
    for (uint32_t len : lengths) {
        out.insert(out.end(), {32, 32, 0, 0});
        put16(out, 1);
        put16(out, 32);
        put32(out, len);
        put32(out, at);
    }
    bytes img = pattern(*std::max_element(lengths.begin(), lengths.end()), 5);
    out.insert(out.end(), img.begin(), img.end());
    return out;
}
std::vector<uint32_t> times(unsigned n, uint32_t len) { return std::vector<uint32_t>(n, len); }

TEST(IconFile, ImagesAndTheirBytesAreBounded) {
    std::string exe = copy_of(game_exe(), "bounds");
    const bytes before = slurp(exe);
    log_capture log("icon_bounds");
    // 257 images, and the 65,535 that the count allows, are refused before
    // the program is opened; 256 are written.
    EXPECT_EQ(ico(exe, shared_image(times(257, 100))), 0);
    EXPECT_EQ(ico(exe, shared_image(times(65535, 100))), 0);
    EXPECT_TRUE(slurp(exe) == before) << "the program file must not change";
    ASSERT_EQ(ico(exe, shared_image(times(256, 100))), 1);
    EXPECT_EQ(log.lines(), (lines{"setup started", "ERROR: icon file has too many images",
                                  "ERROR: icon file has too many images", "icon: 256 images from the CD"}));
    {
        resources r(exe);
        EXPECT_EQ(r.names(RT_ICON).size(), 256u);
        EXPECT_EQ(r.get(RT_ICON, 256), pattern(100, 5));
    }

    // Two entries that name one image of 32 MiB stage 64 MiB: the most there
    // may be. One byte more is refused.
    exe = copy_of(game_exe(), "bytes");
    const bytes small_before = slurp(exe);
    EXPECT_EQ(ico(exe, shared_image({32u << 20, (32u << 20) + 1})), 0);
    EXPECT_EQ(log.last(), "ERROR: icon file is too large");
    EXPECT_TRUE(slurp(exe) == small_before);
    ASSERT_EQ(ico(exe, shared_image(times(2, 32u << 20))), 1);
    EXPECT_GT(slurp(exe).size(), small_before.size() + (64u << 20));
}

// Icons of another program -------------------------------------------------

struct from_result {
    int result;
    std::string exe;
    lines log;
};

from_result from_program(const std::string& src, const std::string& test) {
    from_result out;
    out.exe = copy_of(game_exe(), test);
    log_capture log("icon_" + test);
    out.result = inject_icon_from_exe(out.exe.c_str(), src.c_str());
    out.log = log.lines();
    return out;
}

void expect_icons(const std::string& exe, const std::vector<bytes>& images, const bytes& grp) {
    resources r(exe);
    ASSERT_TRUE(r.loaded());
    expect_images(r, images);
    EXPECT_EQ(r.names(RT_GROUP_ICON), ids(1));
    EXPECT_EQ(r.get(RT_GROUP_ICON, 1), grp);
}

TEST(IconFromProgram, TakesTheFirstGroupOfTheDirectory) {
    bytes expected = group({{0x20, 0x20, 32, 6, 1}, {0x10, 0x10, 32, 10, 2}});
    for (const char* src : {"icon_named", "icon_52"}) {
        SCOPED_TRACE(src);
        from_result f = from_program(icon_program(src), src);
        EXPECT_EQ(f.result, 1);
        EXPECT_EQ(f.log, (lines{"setup started", "icon: 2 images from the CD"}));
        expect_icons(f.exe, {text("second"), text("third icon")}, expected);
    }
}

TEST(IconFromProgram, RenumbersInTheGroupsOrder) {
    from_result f = from_program(icon_program("icon_order"), "order");
    EXPECT_EQ(f.result, 1);
    EXPECT_EQ(f.log, (lines{"setup started", "icon: 3 images from the CD"}));
    expect_icons(f.exe, {text("seven seven"), text("three"), text("nine")},
                 group({{7, 7, 32, 11, 1}, {3, 3, 32, 5, 2}, {9, 9, 32, 4, 3}}));
}

TEST(IconFromProgram, MissingImageIsCarriedEmpty) {
    from_result f = from_program(icon_program("icon_missing"), "missing_id");
    EXPECT_EQ(f.result, 1);
    EXPECT_EQ(f.log, (lines{"setup started", "icon: 3 images from the CD"}));
    expect_icons(f.exe, {text("first"), bytes(), text("the third")},
                 group({{1, 1, 32, 5, 1}, {2, 2, 32, 0, 2}, {3, 3, 32, 9, 3}}));
}

TEST(IconFromProgram, GroupMustHoldItsEntries) {
    from_result f = from_program(icon_program("icon_exact"), "exact");
    EXPECT_EQ(f.result, 1);
    expect_icons(f.exe, {text("one"), text("second")}, group({{16, 16, 32, 3, 1}, {32, 32, 32, 6, 2}}));

    // The same group one byte short: given up without a line, the target untouched.
    std::string src = copy_of(icon_program("icon_exact"), "short_src", "source.exe");
    bytes grp = group({{16, 16, 32, 3, 1}, {32, 32, 32, 6, 2}});
    grp.pop_back();
    stage(src, 14, 1, grp);
    from_result s = from_program(src, "short");
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.log, lines{"setup started"});
    EXPECT_TRUE(slurp(s.exe) == slurp(game_exe()));
}

TEST(IconFromProgram, NothingToTakeOrNothingToOpen) {
    from_result none = from_program(icon_program("icon_none"), "none");
    EXPECT_EQ(none.result, 0);
    EXPECT_EQ(none.log, lines{"setup started"});
    EXPECT_TRUE(slurp(none.exe) == slurp(game_exe()));

    std::string dir = scratch("icon_unloadable");
    spit(dir + "\\notes.exe", "This is not a program file, whatever its name says.\r\n");
    for (std::string src : {dir + "\\absent.exe", dir + "\\notes.exe"}) {
        from_result f = from_program(src, "unloadable_target");
        EXPECT_EQ(f.result, 0) << src;
        ASSERT_EQ(f.log.size(), 3u) << src;
        EXPECT_EQ(f.log[1].rfind("cannot load " + src + " (error ", 0), 0u) << f.log[1];
        EXPECT_EQ(f.log[2], "ERROR: cannot open the game program for its icon") << src;
    }
}

TEST(IconFromProgram, SizesFromTheSourceAreNotTrusted) {
    // A data entry that claims 16 MiB for a 6-byte image: the bytes behind it
    // are not the image's (and may not be mapped), so it is carried as missing.
    std::string src = copy_of(icon_program("icon_exact"), "liar_src", "source.exe");
    size_t at;
    {
        resources r(src);
        ASSERT_TRUE(r.loaded());
        at = r.entry_offset(RT_ICON, 2);
    }
    bytes file = slurp(src);
    ASSERT_LT(at + 8, file.size());
    file[at + 4] = 0;
    file[at + 5] = 0;
    file[at + 6] = 0;
    file[at + 7] = 1;
    spit(src, std::string(file.begin(), file.end()));
    from_result f = from_program(src, "liar");
    EXPECT_EQ(f.result, 1);
    expect_icons(f.exe, {text("one"), bytes()}, group({{16, 16, 32, 3, 1}, {32, 32, 32, 0, 2}}));

    // A group that lists one large image a thousand times is refused, not assembled.
    std::string big = copy_of(icon_program("icon_none"), "big_src", "source.exe");
    stage(big, 3, 1, pattern(100000, 5));
    std::vector<gentry> many(1000, gentry{48, 48, 32, 100000, 1});
    stage(big, 14, 1, group(many));
    from_result g = from_program(big, "big");
    EXPECT_EQ(g.result, 0);
    EXPECT_EQ(g.log, (lines{"setup started", "ERROR: the game program's icon is too large"}));
    EXPECT_TRUE(slurp(g.exe) == slurp(game_exe()));
}

// The emblem picture -------------------------------------------------------

void be32(bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; i--) b.push_back(uint8_t(v >> (8 * i)));
}
void chunk(bytes& b, const char* id, const bytes& body) {
    b.insert(b.end(), id, id + 4);
    be32(b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
}
// An uncompressed picture.
bytes pbm(uint16_t w, uint16_t h, const bytes& palette, const bytes& pixels) {
    bytes bmhd = {uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8), uint8_t(h), 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0};
    bytes inner = {'P', 'B', 'M', ' '};
    chunk(inner, "BMHD", bmhd);
    chunk(inner, "CMAP", palette);
    chunk(inner, "BODY", pixels);
    bytes out = {'F', 'O', 'R', 'M'};
    be32(out, uint32_t(inner.size()));
    out.insert(out.end(), inner.begin(), inner.end());
    return out;
}

int lbm(const std::string& exe, const bytes& picture) {
    return inject_icon_lbm(exe.c_str(), picture.data(), picture.size());
}

TEST(Emblem, SevenImagesAndTheirGroup) {
    bytes picture = slurp(build_path("icon\\emblem.lbm"));
    ASSERT_FALSE(picture.empty()) << "the sample picture is made by emblem_preview --sample";
    std::string exe = copy_of(game_exe(), "emblem");
    log_capture log("icon_emblem");
    ASSERT_EQ(lbm(exe, picture), 1);
    EXPECT_EQ(log.lines(), lines{"setup started"}) << "success writes no line";

    const int sides[] = {16, 24, 32, 48, 64, 128, 256};
    const uint32_t lengths[] = {1128, 2440, 4264, 9640, 16936, 67624, 270376};
    std::vector<gentry> entries;
    for (int k = 0; k < 7; k++)
        entries.push_back({uint8_t(sides[k] & 0xFF), uint8_t(sides[k] & 0xFF), 32, lengths[k], uint16_t(k + 1)});
    resources r(exe);
    ASSERT_TRUE(r.loaded());
    EXPECT_EQ(r.names(RT_ICON), ids(7));
    for (WORD k = 1; k <= 7; k++) EXPECT_EQ(r.get(RT_ICON, k).value_or(bytes()).size(), lengths[k - 1]) << k;
    bytes grp = r.get(RT_GROUP_ICON, 1).value_or(bytes());
    EXPECT_EQ(grp.size(), 104u);
    EXPECT_EQ(grp, group(entries));

    // The largest image: a 256 x 512 header (colours and mask), the sky gone
    // from the corners, the shield solid in the middle.
    bytes big = r.get(RT_ICON, 7).value_or(bytes());
    ASSERT_EQ(big.size(), 270376u);
    spit(build_path("icon\\emblem_256.dib"), std::string(big.begin(), big.end()));
    EXPECT_EQ(bytes(big.begin(), big.begin() + 16), (bytes{40, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 1, 0, 32, 0}));
    auto alpha = [&](int x, int y) { return big[40 + ((255 - y) * 256 + x) * 4 + 3]; };
    EXPECT_EQ(alpha(0, 0), 0);
    EXPECT_EQ(alpha(255, 255), 0);
    EXPECT_EQ(alpha(128, 128), 255);
    EXPECT_TRUE(std::all_of(big.end() - 256 * 32, big.end(), [](uint8_t b) { return b == 0; })) << "mask";
}

TEST(Emblem, RefusedPicturesLeaveTheProgramAlone) {
    std::string exe = copy_of(game_exe(), "emblem_bad");
    bytes before = slurp(exe);
    bytes palette = {0, 0, 0, 20, 20, 19, 200, 100, 50};
    bytes ilbm = pbm(2, 1, palette, {2, 2});
    memcpy(&ilbm[8], "ILBM", 4);
    log_capture log("icon_emblem_bad");
    EXPECT_EQ(lbm(exe, ilbm), 0);
    EXPECT_EQ(lbm(exe, pbm(2, 1, palette, {0, 1})), 0) << "colour sums 0 and 59 only";
    EXPECT_EQ(lbm(exe, bytes(11, 0)), 0);
    EXPECT_TRUE(slurp(exe) == before);
    std::string missing = scratch("icon_emblem_missing") + "\\missing.exe";
    EXPECT_EQ(lbm(missing, pbm(2, 1, palette, {2, 0})), 0);
    EXPECT_EQ(log.lines(), (lines{"setup started", "ERROR: game emblem picture not understood",
                                  "ERROR: game emblem picture is empty", "ERROR: game emblem picture not understood",
                                  not_found(missing), "ERROR: cannot update the game executable's icon"}));
}

}  // namespace

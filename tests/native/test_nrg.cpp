// Nero images: the footer, the chunk walk and the first session's track
// list, with every count, offset and length read from the file checked.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "formats/nrg.h"
#include "rip_files.h"

namespace {

void put_be(std::vector<uint8_t>& b, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; i--) b.push_back(uint8_t(v >> (8 * i)));
}

// Chunks and footer after `data` bytes of track data; the tail is the whole
// file unless cut by the caller.
struct nrg_recipe {
    uint64_t data = 1000 * 2352;
    bool v2 = true;
    std::vector<uint8_t> chunks;

    void chunk(const char* id, const std::vector<uint8_t>& body) {
        chunks.insert(chunks.end(), id, id + 4);
        put_be(chunks, body.size(), 4);
        chunks.insert(chunks.end(), body.begin(), body.end());
    }
    // A DAOX/DAOI body; each track: sector size, mode, index0, index1, end.
    void dao(const std::vector<std::array<uint64_t, 5>>& tracks, int first = 1, int last = -1) {
        std::vector<uint8_t> b(22);
        b[20] = uint8_t(first);
        b[21] = uint8_t(last < 0 ? first + int(tracks.size()) - 1 : last);
        for (auto& t : tracks) {
            b.insert(b.end(), 12, 0);
            put_be(b, t[0], 2);
            b.push_back(uint8_t(t[1]));
            b.insert(b.end(), 3, 0);
            for (int k = 2; k < 5; k++) put_be(b, t[k], v2 ? 8 : 4);
        }
        chunk(v2 ? "DAOX" : "DAOI", b);
    }
    // An ETN2/ETNF body; each track: offset, length, mode, start sector.
    void etn(const std::vector<std::array<uint64_t, 4>>& tracks) {
        std::vector<uint8_t> b;
        for (auto& t : tracks) {
            put_be(b, t[0], v2 ? 8 : 4);
            put_be(b, t[1], v2 ? 8 : 4);
            put_be(b, t[2], 4);
            put_be(b, t[3], 4);
            put_be(b, 0, v2 ? 8 : 4);
        }
        chunk(v2 ? "ETN2" : "ETNF", b);
    }
    std::vector<uint8_t> tail(uint64_t chunk_at = UINT64_MAX) const {
        std::vector<uint8_t> t = chunks;
        const char* end = "END!\0\0\0\0";
        t.insert(t.end(), end, end + 8);
        t.insert(t.end(), v2 ? "NER5" : "NERO", (v2 ? "NER5" : "NERO") + 4);
        put_be(t, chunk_at == UINT64_MAX ? data : chunk_at, v2 ? 8 : 4);
        return t;
    }
};

std::string disc_in(const std::vector<uint8_t>& tail, uint64_t file_size) {
    std::vector<uint8_t> exact(tail);
    rip::disc_layout l;
    std::string why;
    const bool ok = nrg::read_disc(exact.data(), exact.size(), file_size, &l, &why);
    return answer(ok, l, why);
}
std::string disc_in(const nrg_recipe& r) { return disc_in(r.tail(), r.data + r.tail().size()); }

// The chunk list and footer that vcdimager's vcdxbuild (--image-type=nrg)
// wrote after a two-film Video CD of 2336-byte sectors, track at once: the
// tracks' start sectors 0, 300 and 670 leave out the 150-sector gaps. The
// films are files of the volume from sectors 450 and 970 on.
const std::vector<uint8_t> vcd_tail = {
    0x45, 0x54, 0x4e, 0x46, 0x00, 0x00, 0x00, 0x3c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0xb1, 0x80, 0x00, 0x00,
    0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0xb1, 0x80, 0x00, 0x0d, 0x30, 0x40,
    0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x01, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17, 0xe1, 0xc0, 0x00, 0x17,
    0xc6, 0x60, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x02, 0x9e, 0x00, 0x00, 0x00, 0x00, 0x53, 0x49, 0x4e, 0x46,
    0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x03, 0x45, 0x4e, 0x44, 0x21, 0x00, 0x00, 0x00, 0x00, 0x4e, 0x45,
    0x52, 0x4f, 0x00, 0x2f, 0xa8, 0x20};
const uint64_t vcd_size = 3123328;

TEST(NrgDisc, VideoCdOfVcdxbuildTrackAtOnce) {
    rip::disc_layout l;
    std::string why;
    ASSERT_TRUE(nrg::read_disc(vcd_tail.data(), vcd_tail.size(), vcd_size, &l, &why)) << why;
    EXPECT_EQ(layout_text(l), "t1 @0 x300 2336/8 | t2 gap x150 | t2 @700800 x370 2336/8 | t3 gap x150 | "
                              "t3 @1565120 x667 2336/8; origin 0+0");
    rip::disc_map map;
    ASSERT_TRUE(place_sized(l, {{"", vcd_size}}, &map, &why)) << why;
    EXPECT_EQ(sector_at(map, 299), "@698464+8");
    EXPECT_EQ(sector_at(map, 300), "not stored");
    EXPECT_EQ(sector_at(map, 449), "not stored");
    EXPECT_EQ(sector_at(map, 450), "@700800+8") << "the first film, not 150 sectors on";
    EXPECT_EQ(sector_at(map, 970), "@1565120+8");
    EXPECT_EQ(sector_at(map, 1636), "@3120896+8");
    EXPECT_EQ(sector_at(map, 1637), "none");
}

TEST(NrgDisc, TheDiscMakersFiles) {
    REQUIRE_RIPS();
    for (const char* name : {"nrg.nrg", "nrg-v1.nrg"}) {
        auto whole = rip_file(name);
        ASSERT_GT(whole.size(), 4096u) << name;
        EXPECT_EQ(disc_in(whole, whole.size()), "t1 @0 x150 2048/0 | t1 @307200 x26 2048/0; origin 1+0") << name;
        std::vector<uint8_t> tail(whole.end() - 4096, whole.end());
        EXPECT_EQ(disc_in(tail, whole.size()), "t1 @0 x150 2048/0 | t1 @307200 x26 2048/0; origin 1+0")
            << name << ", its last 4 KiB";
    }
}

TEST(NrgDisc, DiscAtOnceAndTrackAtOnce) {
    for (bool v2 : {true, false}) {
        nrg_recipe r;
        r.v2 = v2;
        r.chunk("CUEX", std::vector<uint8_t>(32));
        r.dao({{2352, 0x07, 0, 0, 300 * 2352}, {2352, 0x06, 300 * 2352, 450 * 2352, 1000 * 2352}});
        EXPECT_EQ(disc_in(r), "t1 @0 x300 2352/- | t2 @705600 x150 2352/24 | t2 @1058400 x550 2352/24; origin 2+0")
            << "audio, then raw Mode 2 after its stored pregap; v2 " << v2;
        r.chunks.clear();
        r.dao({{2448, 0x11, 0, 150 * 2448, 800 * 2448}, {2448, 0x10, 800 * 2448, 800 * 2448, 900 * 2448}});
        EXPECT_EQ(disc_in(r), "t1 @0 x150 2448/16 | t1 @367200 x650 2448/16 | t2 @1958400 x100 2448/-; origin 1+0")
            << v2;
        r.chunks.clear();
        r.etn({{0, 300 * 2352, 7, 0}, {300 * 2352, 100 * 2336, 3, 300}, {300 * 2352 + 100 * 2336, 10 * 2048, 0, 500}});
        EXPECT_EQ(disc_in(r), "t1 @0 x300 2352/- | t2 gap x150 | t2 @705600 x100 2336/8 | t3 gap x250 | "
                              "t3 @939200 x10 2048/0; origin 2+0")
            << "track at once, a start sector past the gap; v2 " << v2;
        r.chunks.clear();
        r.dao({{2352, 0x07, 0, 0, 300 * 2352}});
        r.dao({{2048, 0x00, 300 * 2352, 300 * 2352, 400 * 2352}}, 2);
        EXPECT_EQ(disc_in(r), "! has no data track (an audio CD?)") << "only the first session counts; v2 " << v2;
    }
}

TEST(NrgDisc, CountsAndSectorsAtTheirBounds) {
    nrg_recipe r;
    std::vector<std::array<uint64_t, 5>> tracks;
    for (uint64_t i = 0; i < 99; i++) tracks.push_back({2048, 0, i * 2048, i * 2048, (i + 1) * 2048});
    r.dao(tracks);
    EXPECT_EQ(disc_in(r).substr(0, 22), "t1 @0 x1 2048/0 | t2 @") << "99 tracks";
    r.chunks.clear();
    r.dao({{2048, 0, 0, 0, 2048}}, 99);
    EXPECT_EQ(disc_in(r), "t99 @0 x1 2048/0; origin 0+0");
    r.chunks.clear();
    r.dao({{2048, 0, 0, 0, 2048}}, 100);
    EXPECT_EQ(disc_in(r), "! is damaged: its track numbers are out of order");

    std::vector<std::array<uint64_t, 4>> etn;
    for (uint64_t i = 0; i < 99; i++) etn.push_back({i * 2048, 2048, 0, i});
    r.chunks.clear();
    r.etn(etn);
    EXPECT_EQ(disc_in(r).substr(0, 31), "t1 @0 x1 2048/0 | t2 gap x150 |");
    etn.push_back({99 * 2048, 2048, 0, 99});
    r.chunks.clear();
    r.etn(etn);
    EXPECT_EQ(disc_in(r), "! is damaged: its track-at-once list does not hold 1 to 99 whole tracks");

    r.chunks.clear();
    r.etn({{0, 2048, 0, 449849}});
    EXPECT_EQ(disc_in(r), "t1 @0 x1 2048/0; origin 0+0");
    r.chunks.clear();
    r.etn({{0, 2048, 0, 449850}});
    EXPECT_EQ(disc_in(r), "! is damaged: track 1 starts beyond the end of a CD");
    r.chunks.clear();
    r.etn({{0, 2352, 7, 0}, {2352, 2048, 0, 449849 - 150}});
    EXPECT_EQ(disc_in(r).substr(disc_in(r).size() - 30), "t2 @2352 x1 2048/0; origin 2+0");
    r.chunks.clear();
    r.etn({{0, 2352, 7, 0}, {2352, 2048, 0, 449850 - 150}});
    EXPECT_EQ(disc_in(r), "! is damaged: track 2 starts beyond the end of a CD");
}

TEST(NrgDisc, FooterAndChunkListOutOfReason) {
    nrg_recipe r;
    r.dao({{2048, 0, 0, 307200, 1000 * 2048}});
    r.data = 1000 * 2048;
    const std::vector<uint8_t> tail = r.tail();
    const uint64_t size = r.data + tail.size();
    ASSERT_EQ(disc_in(tail, size), "t1 @0 x150 2048/0 | t1 @307200 x850 2048/0; origin 1+0");

    const std::string no_footer = "! is not a Nero image: it ends without a Nero footer";
    const std::string outside = "! is damaged: its Nero chunk list lies outside the file";
    EXPECT_EQ(disc_in(std::vector<uint8_t>(tail.begin(), tail.end() - 1), size - 1), no_footer);
    EXPECT_EQ(disc_in(r.tail(size), size), outside) << "chunks past the file";
    EXPECT_EQ(disc_in(r.tail(size - 12), size), "! is damaged: its Nero chunk list has no track list")
        << "an empty list right before the footer";
    EXPECT_EQ(disc_in(r.tail(r.data - 1), size), outside) << "chunks before the tail";
    EXPECT_EQ(disc_in(tail, tail.size() - 1), "! is damaged: it is shorter than was read of it");
    EXPECT_EQ(disc_in(std::vector<uint8_t>(tail.begin() + 4, tail.end()), size), outside)
        << "the list starts before the bytes given";
    EXPECT_EQ(disc_in(r.tail(r.data + 2), size), "! is damaged: its Nero chunk list runs past the end") << "misaligned";
    for (size_t n = 0; n < 12; n++)
        EXPECT_EQ(disc_in(std::vector<uint8_t>(tail.end() - n, tail.end()), n)[0], '!') << n;

    for (uint32_t len : {0xFFFFFFFFu, 0xFFFFFFF8u, 0x80000000u, uint32_t(tail.size())}) {
        std::vector<uint8_t> b = tail;
        b[4] = uint8_t(len >> 24), b[5] = uint8_t(len >> 16), b[6] = uint8_t(len >> 8), b[7] = uint8_t(len);
        EXPECT_EQ(disc_in(b, size), "! is damaged: its Nero chunk list runs past the end") << len;
    }
    nrg_recipe none;
    none.chunk("SINF", {0, 0, 0, 1});
    EXPECT_EQ(disc_in(none), "! is damaged: its Nero chunk list has no track list");
}

TEST(NrgDisc, TrackListsOutOfReason) {
    static const uint64_t d = 1000 * 2048;
    auto dao = [](std::vector<std::array<uint64_t, 5>> tracks, int first = 1, int last = -1) {
        nrg_recipe r;
        r.data = d;
        r.dao(tracks, first, last);
        return disc_in(r);
    };
    auto etn = [](std::vector<std::array<uint64_t, 4>> tracks) {
        nrg_recipe r;
        r.data = d;
        r.etn(tracks);
        return disc_in(r);
    };
    auto chunk = [](const char* id, std::vector<uint8_t> body) {
        nrg_recipe r;
        r.data = d;
        r.chunk(id, body);
        return disc_in(r);
    };
    const std::string outside = "! is damaged: track 1 lies outside the image or out of order";
    EXPECT_EQ(dao({{2048, 0, 0, 0, d + 2048}}), outside) << "into the chunk list";
    EXPECT_EQ(dao({{2048, 0, 0, 4096, 2048}}), outside);
    EXPECT_EQ(dao({{2048, 0, 4096, 2048, d}}), outside);
    EXPECT_EQ(dao({{2048, 7, 0, 0, 4096}, {2048, 0, 2048, 4096, d}}),
              "! is damaged: track 1 has sectors of 2048 bytes");
    EXPECT_EQ(dao({{2352, 0, 0, 0, d}}), "! is damaged: track 1 has sectors of 2352 bytes");
    EXPECT_EQ(dao({{2352, 7, 0, 0, 2352 * 10}, {2048, 0, 2352 * 9, 2352 * 10, d}}),
              "! is damaged: track 2 starts before track 1 ends");
    EXPECT_EQ(dao({{2048, 0, 0, 100, d}}), "! is damaged: track 1 is no whole number of sectors");
    EXPECT_EQ(dao({{2048, 0, 0, 0, d}}, 2, 1), "! is damaged: its track numbers are out of order");
    EXPECT_EQ(dao({{2048, 0, 0, 0, d}}, 0, 0), "! is damaged: its track numbers are out of order");
    EXPECT_EQ(dao({{2048, 0, 0, 0, d}}, 1, 99), "! is damaged: its track list holds fewer tracks than it says");
    EXPECT_EQ(chunk("DAOX", std::vector<uint8_t>(21)), "! is damaged: its disc-at-once track list is cut short");
    EXPECT_EQ(dao({{2352, 0x07, 0, 0, 2352 * 10}, {2336, 0x42, 2352 * 10, 2352 * 10, 2352 * 10 + 2336 * 100}}),
              "! has no data track (an audio CD?)")
        << "a mode not known holds no data we read";
    EXPECT_EQ(dao({{2048, 0, 0, 2048, 2048}, {2048, 0, 2048, 2048, d}}),
              "! is damaged: its data track, track 1, holds no sectors");

    EXPECT_EQ(etn({{0, UINT64_MAX, 0, 0}}), "! is damaged: track 1 lies outside the image");
    EXPECT_EQ(etn({{d, 2048, 0, 0}}), "! is damaged: track 1 lies outside the image");
    EXPECT_EQ(etn({{0, 2047, 0, 0}}), "! is damaged: track 1 is no whole number of sectors");
    EXPECT_EQ(etn({{0, 2048, 0x42, 0}}), "! is damaged: track 1 has a mode this setup does not know");
    EXPECT_EQ(etn({{0, 4704, 7, 0}, {2352, 2048, 0, 10}}), "! is damaged: track 2 starts before track 1 ends")
        << "in the file";
    EXPECT_EQ(etn({{0, 2352 * 200, 7, 0}, {2352 * 200, 2048, 0, 9}}),
              "! is damaged: track 2 starts before track 1 ends")
        << "on the disc";
    EXPECT_EQ(etn({{0, 0, 0, 0}, {0, 2048, 0, 0}}), "! is damaged: its data track, track 1, holds no sectors");
    const std::string list = "! is damaged: its track-at-once list does not hold 1 to 99 whole tracks";
    EXPECT_EQ(chunk("ETN2", std::vector<uint8_t>(33)), list);
    EXPECT_EQ(chunk("ETN2", {}), list);
}

}  // namespace

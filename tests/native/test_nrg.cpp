// Nero images: the footer, the chunk walk and the track lists, with every
// count, offset and length read from the file checked.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "formats/nrg.h"
#include "rip_files.h"

namespace {

void put_be(std::vector<uint8_t>& b, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; i--) b.push_back(uint8_t(v >> (8 * i)));
}

// Chunks and footer after `data` bytes of track data; the tail is the whole
// file unless cut by the caller.
struct nrg_recipe {
    uint64_t data = 1000 * 2048;
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
            b.push_back(0);
            put_be(b, 1, 2);
            for (int k = 2; k < 5; k++) put_be(b, t[k], v2 ? 8 : 4);
        }
        chunk(v2 ? "DAOX" : "DAOI", b);
    }
    void etn(const std::vector<std::array<uint64_t, 3>>& tracks) {  // offset, length, mode
        std::vector<uint8_t> b;
        for (auto& t : tracks) {
            put_be(b, t[0], v2 ? 8 : 4);
            put_be(b, t[1], v2 ? 8 : 4);
            put_be(b, t[2], 4);
            put_be(b, 0, 4);
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

std::string track_in(const std::vector<uint8_t>& tail, uint64_t file_size) {
    std::vector<uint8_t> exact(tail);
    rip::data_track t;
    return nrg::first_data_track(exact.data(), exact.size(), file_size, &t) ? where(t) : "-";
}
std::string track_in(const nrg_recipe& r) { return track_in(r.tail(), r.data + r.tail().size()); }

TEST(NrgDataTrack, TheDiscMakersFiles) {
    REQUIRE_RIPS();
    for (const char* name : {"nrg.nrg", "nrg-v1.nrg"}) {
        auto whole = rip_file(name);
        ASSERT_GT(whole.size(), 307200u) << name;
        EXPECT_EQ(track_in(whole, whole.size()), " @307200 2048/0") << name;
        std::vector<uint8_t> tail(whole.end() - 4096, whole.end());
        EXPECT_EQ(track_in(tail, whole.size()), " @307200 2048/0") << name << ", its last 4 KiB";
    }
}

TEST(NrgDataTrack, DiscAtOnceAndTrackAtOnce) {
    for (bool v2 : {true, false}) {
        nrg_recipe r;
        r.v2 = v2;
        r.chunk("CUEX", std::vector<uint8_t>(32));
        r.dao({{2352, 0x07, 0, 0, 300 * 2352}, {2352, 0x06, 300 * 2352, 450 * 2352, 1000 * 2048}});
        EXPECT_EQ(track_in(r), " @1058400 2352/24") << "audio first, then Mode 2 raw; v2 " << v2;
        r.chunks.clear();
        r.etn({{0, 4704, 7}, {4704, 2336 * 100, 3}});
        EXPECT_EQ(track_in(r), " @4704 2336/8") << v2;
        r.chunks.clear();
        r.dao({{2448, 0x11, 0, 150 * 2448, 800 * 2448}});
        EXPECT_EQ(track_in(r), " @367200 2448/16") << v2;
    }
}

TEST(NrgDataTrack, FooterAndChunkListOutOfReason) {
    nrg_recipe r;
    r.dao({{2048, 0, 0, 307200, 1000 * 2048}});
    const std::vector<uint8_t> tail = r.tail();
    const uint64_t size = r.data + tail.size();
    ASSERT_EQ(track_in(tail, size), " @307200 2048/0");

    EXPECT_EQ(track_in(std::vector<uint8_t>(tail.begin(), tail.end() - 1), size - 1), "-") << "no footer";
    EXPECT_EQ(track_in(r.tail(size), size), "-") << "chunks past the file";
    EXPECT_EQ(track_in(r.tail(r.data - 1), size), "-") << "chunks before the tail";
    EXPECT_EQ(track_in(tail, tail.size() - 1), "-") << "tail longer than the file";
    EXPECT_EQ(track_in(std::vector<uint8_t>(tail.begin() + 4, tail.end()), size), "-")
        << "the list starts before the bytes given";
    EXPECT_EQ(track_in(r.tail(r.data + 2), size), "-") << "misaligned: a length past the footer";
    for (size_t n = 0; n < 12; n++)
        EXPECT_EQ(track_in(std::vector<uint8_t>(tail.end() - n, tail.end()), n), "-") << n;

    for (uint32_t len : {0xFFFFFFFFu, 0xFFFFFFF8u, 0x80000000u, uint32_t(tail.size())}) {
        std::vector<uint8_t> b = tail;
        fmt::put_le32(&b[4], 0);
        b[4] = uint8_t(len >> 24), b[5] = uint8_t(len >> 16), b[6] = uint8_t(len >> 8), b[7] = uint8_t(len);
        EXPECT_EQ(track_in(b, size), "-") << "a chunk length that would wrap or loop: " << len;
    }
    nrg_recipe none;
    none.chunk("SINF", {0, 0, 0, 1});
    EXPECT_EQ(track_in(none), "-") << "no track list before END!";
}

TEST(NrgDataTrack, TrackListsOutOfReason) {
    auto with = [](auto fill) {
        nrg_recipe r;
        fill(r);
        return track_in(r);
    };
    const uint64_t d = 1000 * 2048;
    EXPECT_EQ(with([&](nrg_recipe& r) { r.dao({{2048, 0, 0, 0, d + 1}}); }), "-") << "track runs into the chunks";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.dao({{2048, 0, 0, 4096, 2048}}); }), "-") << "INDEX 1 after the end";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.dao({{2352, 0, 0, 0, d}}); }), "-") << "size not the mode's";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.dao({{2048, 0, 0, 0, d}}, 2, 1); }), "-") << "first after last";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.dao({{2048, 0, 0, 0, d}}, 0, 0); }), "-");
    EXPECT_EQ(with([&](nrg_recipe& r) { r.dao({{2048, 0, 0, 0, d}}, 1, 99); }), "-") << "more tracks than entries";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.dao({{2048, 0, 0, 0, d}}, 90, 100); }), "-");
    EXPECT_EQ(with([&](nrg_recipe& r) { r.chunk("DAOX", std::vector<uint8_t>(21)); }), "-") << "short head";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.dao({{2352, 0x07, 0, 0, d}}); }), "-") << "audio only";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.etn({{0, UINT64_MAX, 0}}); }), "-") << "length wraps";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.etn({{d, 2048, 0}}); }), "-") << "track inside the chunks";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.chunk("ETN2", std::vector<uint8_t>(33)); }), "-") << "partial entry";
    EXPECT_EQ(with([&](nrg_recipe& r) { r.chunk("ETN2", std::vector<uint8_t>(32 * 100)); }), "-") << "100 entries";
}

}  // namespace

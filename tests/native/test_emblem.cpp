// The emblem picture conversion: IFF chunk walk, body decoding, transparency,
// crop and square canvas, the scaled icon images and their group.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "formats/emblem.h"

namespace {

using bytes = std::vector<uint8_t>;
using emblem::status;

void be16(bytes& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void be32(bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; i--) b.push_back(uint8_t(v >> (8 * i)));
}
void append(bytes& b, const bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A chunk whose length field says `declared`, followed by `body` as given.
bytes raw_chunk(const char* id, uint32_t declared, const bytes& body) {
    bytes b(id, id + 4);
    be32(b, declared);
    append(b, body);
    return b;
}

// A well-formed chunk, padded to even length.
bytes chunk(const char* id, const bytes& body) {
    bytes b = raw_chunk(id, uint32_t(body.size()), body);
    if (body.size() & 1) b.push_back(0);
    return b;
}

bytes form(const char* type, std::initializer_list<bytes> chunks) {
    bytes inner(type, type + 4);
    for (const bytes& c : chunks) append(inner, c);
    bytes b = {'F', 'O', 'R', 'M'};
    be32(b, uint32_t(inner.size()));
    append(b, inner);
    return b;
}

// A 20-byte bitmap header; `keep` cuts it short.
bytes bmhd(uint16_t w, uint16_t h, uint8_t compression, size_t keep = 20) {
    bytes b;
    be16(b, w);
    be16(b, h);
    be32(b, 0);  // position
    b.push_back(8);  // planes
    b.push_back(0);  // masking
    b.push_back(compression);
    b.push_back(0);
    be16(b, 0);  // transparent colour
    b.push_back(1);
    b.push_back(1);
    be16(b, w);
    be16(b, h);
    b.resize(keep);
    return b;
}

struct rgb {
    uint8_t r, g, b;
};
bytes cmap(std::initializer_list<rgb> colours) {
    bytes b;
    for (rgb c : colours) b.insert(b.end(), {c.r, c.g, c.b});
    return b;
}

// Index 0 is black (transparent), 1 white, 2 red, 3 green.
const bytes PALETTE = cmap({{0, 0, 0}, {255, 255, 255}, {200, 0, 0}, {0, 200, 0}});
const uint32_t WHITE = 0xFFFFFFFF, RED = 0xFFC80000, GREEN = 0xFF00C800;

bytes pbm(uint16_t w, uint16_t h, uint8_t compression, const bytes& body, const bytes& palette = PALETTE) {
    return form("PBM ", {chunk("BMHD", bmhd(w, h, compression)), chunk("CMAP", palette), chunk("BODY", body)});
}

// The calls below copy the picture into a buffer of exactly its size, so a
// read one byte past the data is caught.
status decode(const bytes& file, emblem::picture& pic) {
    bytes exact(file.begin(), file.end());
    return emblem::decode(exact.data(), exact.size(), pic);
}
status decode(const bytes& file) {
    emblem::picture pic;
    return decode(file, pic);
}
std::vector<uint32_t> pixels(const bytes& file) {
    emblem::picture pic;
    EXPECT_EQ(decode(file, pic), status::ok);
    return pic.px;
}
status convert(const bytes& file, emblem::icon_set& set) {
    bytes exact(file.begin(), file.end());
    return emblem::convert(exact.data(), exact.size(), set);
}
emblem::picture canvas_of(const bytes& file) {
    emblem::picture pic, canvas;
    EXPECT_EQ(decode(file, pic), status::ok);
    EXPECT_EQ(emblem::square(pic, canvas), status::ok);
    return canvas;
}

// An icon image of side t built by hand: header, rows of `row_colours` (top
// row first, each a full row of BGRA pixels) stored bottom-up, zero mask.
bytes icon(int t, const std::vector<std::vector<uint32_t>>& rows_top_first) {
    bytes b = {40, 0, 0, 0};
    for (uint32_t v : {uint32_t(t), uint32_t(2 * t)})
        for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
    b.insert(b.end(), {1, 0, 32, 0});
    b.resize(40);
    for (int y = t - 1; y >= 0; y--)
        for (uint32_t v : rows_top_first[size_t(y)])
            for (int i = 0; i < 4; i++) b.push_back(uint8_t(v >> (8 * i)));
    b.resize(b.size() + size_t(t) * 4 * ((t + 31) / 32));
    return b;
}

}  // namespace

TEST(EmblemRecognise, RefusesWhatIsNotAPbmPicture) {
    bytes body(4, 1);
    EXPECT_EQ(decode(bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'P', 'B', 'M'}), status::not_understood);  // 11 bytes
    bytes not_form = pbm(2, 2, 0, body);
    not_form[3] = 'X';
    EXPECT_EQ(decode(not_form), status::not_understood);
    EXPECT_EQ(decode(form("ILBM", {chunk("BMHD", bmhd(2, 2, 0)), chunk("CMAP", PALETTE), chunk("BODY", body)})),
              status::not_understood);
    EXPECT_EQ(decode(form("PBM ", {chunk("CMAP", PALETTE), chunk("BODY", body)})), status::not_understood);
    EXPECT_EQ(decode(form("PBM ", {chunk("BMHD", bmhd(2, 2, 0)), chunk("BODY", body)})), status::not_understood);
    EXPECT_EQ(decode(form("PBM ", {chunk("BMHD", bmhd(2, 2, 0)), chunk("CMAP", PALETTE)})), status::not_understood);
    EXPECT_EQ(decode(pbm(0, 2, 0, body)), status::not_understood);
    EXPECT_EQ(decode(pbm(2, 0, 0, body)), status::not_understood);
    EXPECT_STREQ(emblem::message(status::not_understood), "game emblem picture not understood");
}

TEST(EmblemRecognise, PictureMustReachTwentyBytes) {
    // A FORM length of 11 ends the picture at 19, whatever follows.
    bytes b = pbm(1, 1, 0, {1});
    b[7] = 11;
    EXPECT_EQ(decode(b), status::not_understood);
    b[7] = 12;  // ends at 20: only the header of the first chunk fits
    EXPECT_EQ(decode(b), status::not_understood);
}

TEST(EmblemRecognise, FormLengthHidesTheChunksBehindIt) {
    bytes b = pbm(2, 1, 0, {1, 1});
    ASSERT_EQ(decode(b), status::ok);
    // FORM length so that the picture ends right before the BODY's header.
    size_t body_at = b.size() - 10;
    uint32_t hidden = uint32_t(body_at - 8);
    for (int i = 0; i < 4; i++) b[4 + size_t(i)] = uint8_t(hidden >> (24 - 8 * i));
    EXPECT_EQ(decode(b), status::not_understood);
}

TEST(EmblemRecognise, ChunksComeInAnyOrderAndTheLastOneCounts) {
    bytes body = {1, 2, 3, 0};
    std::vector<uint32_t> expected = {WHITE, RED, GREEN, 0};
    EXPECT_EQ(pixels(pbm(2, 2, 0, body)), expected);
    EXPECT_EQ(pixels(form("PBM ", {chunk("BODY", body), chunk("CMAP", PALETTE), chunk("BMHD", bmhd(2, 2, 0))})),
              expected);

    // A second CMAP and BODY replace the first; other chunks are skipped,
    // and an odd-length chunk is followed by its pad byte.
    bytes swapped = cmap({{0, 0, 0}, {0, 200, 0}, {200, 0, 0}, {255, 255, 255}});
    bytes b = form("PBM ", {chunk("ANNO", {'x', 'y', 'z'}), chunk("BMHD", bmhd(2, 2, 0)), chunk("CMAP", PALETTE),
                            chunk("BODY", {0, 0, 0, 0}), chunk("CMAP", swapped), chunk("BODY", body)});
    EXPECT_EQ(pixels(b), (std::vector<uint32_t>{GREEN, RED, WHITE, 0}));
}

TEST(EmblemRecognise, HugeChunkLengthEndsTheWalkWithoutWrapping) {
    for (uint32_t len : {0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFF0u}) {
        bytes b = form("PBM ", {chunk("BMHD", bmhd(1, 1, 0)), chunk("CMAP", PALETTE),
                                raw_chunk("JUNK", len, {0, 0}), chunk("BODY", {1, 0})});
        EXPECT_EQ(decode(b), status::not_understood) << len;
    }
}

TEST(EmblemRecognise, ShortBitmapHeaderIsRefused) {
    EXPECT_EQ(decode(form("PBM ", {chunk("BMHD", bmhd(1, 1, 0, 11)), chunk("CMAP", PALETTE),
                                   chunk("BODY", {1, 0})})),
              status::ok);
    EXPECT_EQ(decode(form("PBM ", {chunk("BMHD", bmhd(1, 1, 0, 10)), chunk("CMAP", PALETTE),
                                   chunk("BODY", {1, 0})})),
              status::not_understood);
    // A header that claims 20 bytes but is the last thing in the data, 10 bytes in.
    EXPECT_EQ(decode(form("PBM ", {chunk("CMAP", PALETTE), chunk("BODY", {1, 0}),
                                   raw_chunk("BMHD", 20, bmhd(1, 1, 0, 10))})),
              status::not_understood);
}

TEST(EmblemRecognise, AbsurdSizesAreRefused) {
    EXPECT_EQ(decode(pbm(emblem::MAX_SIDE + 1, 1, 0, {1})), status::not_understood);
    EXPECT_EQ(decode(pbm(1, emblem::MAX_SIDE + 1, 0, {1})), status::not_understood);
    EXPECT_EQ(decode(pbm(0xFFFF, 0xFFFF, 1, {0x81, 1})), status::not_understood);
    // The widest picture taken: an opaque row 2048 pixels long (palette entry
    // 0 is grey) on a canvas 2176 square, at row 1087 from column 64. A pixel
    // of the 16-pixel image covers 136 x 136 canvas pixels; the second one of
    // row 7 has one full row of them opaque, alpha 255 / 136 = 1.
    emblem::icon_set set;
    ASSERT_EQ(convert(pbm(emblem::MAX_SIDE, 1, 1, {}, cmap({{90, 90, 90}})), set), status::ok);
    const uint8_t* px = &set.images[0][40 + 4 * (8 * 16 + 1)];  // bottom-up: row 7 is stored 8th
    EXPECT_EQ(bytes(px, px + 4), (bytes{90, 90, 90, 1}));
}

TEST(EmblemColours, SumBelowSixtyIsTransparent) {
    bytes palette = cmap({{20, 20, 19}, {20, 20, 20}, {59, 0, 0}, {0, 0, 60}});
    EXPECT_EQ(pixels(pbm(4, 1, 0, {0, 1, 2, 3}, palette)), (std::vector<uint32_t>{0, 0xFF141414, 0, 0xFF00003C}));
}

TEST(EmblemColours, AllDarkPictureIsEmpty) {
    emblem::icon_set set;
    EXPECT_EQ(convert(pbm(2, 2, 0, {0, 0, 0, 0}, cmap({{0, 0, 0}, {19, 20, 20}})), set), status::empty);
    EXPECT_EQ(convert(pbm(2, 2, 0, {1, 1, 1, 1}, cmap({{0, 0, 0}, {19, 20, 20}})), set), status::empty);
    EXPECT_TRUE(set.group.empty());
    EXPECT_STREQ(emblem::message(status::empty), "game emblem picture is empty");
}

TEST(EmblemColours, IndexWithoutAWholePaletteEntryIsTransparent) {
    // Entries 0 and 1 only: indexes 2 and 200 have none.
    EXPECT_EQ(pixels(pbm(4, 1, 0, {1, 2, 200, 1}, cmap({{0, 0, 0}, {255, 255, 255}}))),
              (std::vector<uint32_t>{WHITE, 0, 0, WHITE}));
    // A 5-byte palette holds entry 0 and a part of entry 1, which does not count.
    EXPECT_EQ(pixels(pbm(2, 1, 0, {0, 1}, {255, 255, 255, 255, 255})), (std::vector<uint32_t>{WHITE, 0}));
    // A palette that claims 768 bytes and is cut off by the end of the data.
    bytes b = form("PBM ", {chunk("BMHD", bmhd(2, 1, 0)), chunk("BODY", {1, 2}),
                            raw_chunk("CMAP", 768, {0, 0, 0, 255, 255, 255, 200})});
    EXPECT_EQ(pixels(b), (std::vector<uint32_t>{WHITE, 0}));
}

TEST(EmblemBody, OddWidthRowsCarryAPadByte) {
    // 5 wide: 6 bytes a row; the sixth (index 1, white) is not a pixel.
    bytes body = {1, 0, 0, 0, 2, 1,
                  0, 3, 0, 0, 0, 1};
    EXPECT_EQ(pixels(pbm(5, 2, 0, body)), (std::vector<uint32_t>{WHITE, 0, 0, 0, RED, 0, GREEN, 0, 0, 0}));
}

TEST(EmblemBody, UncompressedBodyShorterOrLongerThanThePicture) {
    bytes palette0 = cmap({{90, 90, 90}, {255, 255, 255}});
    const uint32_t GREY = 0xFF5A5A5A;
    // What the body does not reach stays index 0, here an opaque grey.
    EXPECT_EQ(pixels(pbm(2, 2, 0, {1}, palette0)), (std::vector<uint32_t>{WHITE, GREY, GREY, GREY}));
    EXPECT_EQ(pixels(pbm(2, 1, 0, {1, 1, 0, 0, 0})), (std::vector<uint32_t>{WHITE, WHITE}));
    // Any compression other than 1 is taken as none.
    EXPECT_EQ(pixels(pbm(2, 1, 7, {2, 3})), (std::vector<uint32_t>{RED, GREEN}));
    // A body that claims 1000 bytes but is cut off by the end of the data.
    bytes b = form("PBM ", {chunk("BMHD", bmhd(2, 2, 0)), chunk("CMAP", PALETTE), raw_chunk("BODY", 1000, {1, 2, 3})});
    EXPECT_EQ(pixels(b), (std::vector<uint32_t>{WHITE, RED, GREEN, 0}));
}

TEST(EmblemBody, ByteRun1RunsCrossRowsAndSkip128) {
    // 4 x 3: repeat 1 six times, a no-op, copy 2 0 2, repeat 2 three times.
    bytes body = {251, 1, 128, 2, 2, 0, 2, 254, 2};
    EXPECT_EQ(pixels(pbm(4, 3, 1, body)),
              (std::vector<uint32_t>{WHITE, WHITE, WHITE, WHITE, WHITE, WHITE, RED, 0, RED, RED, RED, RED}));
}

TEST(EmblemBody, ByteRun1StopsAtEitherEnd) {
    // A copy run that meets the end of the body copies what is there.
    EXPECT_EQ(pixels(pbm(4, 1, 1, {5, 1, 2})), (std::vector<uint32_t>{WHITE, RED, 0, 0}));
    // Runs that meet the end of the picture write what fits.
    EXPECT_EQ(pixels(pbm(2, 1, 1, {0x81, 1})), (std::vector<uint32_t>{WHITE, WHITE}));
    EXPECT_EQ(pixels(pbm(2, 1, 1, {4, 2, 3, 1, 1, 1})), (std::vector<uint32_t>{RED, GREEN}));
    // A body that ends early leaves the rest at index 0.
    EXPECT_EQ(pixels(pbm(3, 1, 1, {0, 1})), (std::vector<uint32_t>{WHITE, 0, 0}));
    // A repeat whose value byte would lie past the body, as the last byte of
    // the data, and past a body that claims more than the data holds.
    bytes last = form("PBM ", {chunk("BMHD", bmhd(2, 1, 1)), chunk("CMAP", PALETTE), raw_chunk("BODY", 3, {0, 1, 0xFF})});
    EXPECT_EQ(pixels(last), (std::vector<uint32_t>{WHITE, 0}));
    bytes cut = form("PBM ", {chunk("BMHD", bmhd(2, 1, 1)), chunk("CMAP", PALETTE), raw_chunk("BODY", 50, {0xFF})});
    EXPECT_EQ(pixels(cut), (std::vector<uint32_t>{0, 0}));
    // A body of length 0 counts as seen and decodes nothing.
    EXPECT_EQ(pixels(pbm(2, 1, 1, {}, cmap({{90, 90, 90}}))), (std::vector<uint32_t>{0xFF5A5A5A, 0xFF5A5A5A}));
}

TEST(EmblemCanvas, SquareSideHasASixteenthMargin) {
    struct {
        uint16_t w, h;
        unsigned side;
    } cases[] = {{15, 1, 15}, {1, 15, 15}, {100, 3, 106}, {320, 1, 340}, {16, 16, 17}};
    for (auto c : cases) {
        bytes body(size_t((c.w + 1) & ~1) * c.h, 1);
        emblem::picture canvas = canvas_of(pbm(c.w, c.h, 0, body));
        EXPECT_EQ(canvas.width, c.side) << c.w << " x " << c.h;
        EXPECT_EQ(canvas.height, c.side);
    }
}

TEST(EmblemCanvas, VisiblePartIsCroppedAndCentred) {
    // A 100 x 50 white block at (7, 9) of a 120 x 70 picture, one red corner.
    const int W = 120, H = 70;
    bytes body(W * H, 0);
    for (int y = 9; y < 59; y++)
        for (int x = 7; x < 107; x++) body[size_t(y * W + x)] = 1;
    body[9 * W + 7] = 2;
    emblem::picture c = canvas_of(pbm(W, H, 0, body));
    ASSERT_EQ(c.width, 106u);
    auto at = [&](int x, int y) { return c.px[size_t(y) * 106 + size_t(x)]; };
    EXPECT_EQ(at(3, 28), RED);
    EXPECT_EQ(at(4, 28), WHITE);
    EXPECT_EQ(at(102, 77), WHITE);
    EXPECT_EQ(at(2, 28), 0u);
    EXPECT_EQ(at(3, 27), 0u);
    EXPECT_EQ(at(103, 77), 0u);
    EXPECT_EQ(at(102, 78), 0u);
    size_t opaque = 0;
    for (uint32_t v : c.px) opaque += v != 0;
    EXPECT_EQ(opaque, 5000u);
}

TEST(EmblemIcons, BoxAverageWeighsColourByAlpha) {
    // A 31 x 31 picture gives a 32-pixel canvas, so each pixel of the 16-pixel
    // image covers 2 x 2 canvas pixels.
    const int W = 31;
    bytes palette = cmap({{0, 0, 0}, {200, 100, 50}, {0, 100, 0}});
    bytes body(size_t(W + 1) * W, 0);
    auto put = [&](int x, int y, uint8_t v) { body[size_t(y * (W + 1) + x)] = v; };
    put(0, 0, 1);    // one of four opaque: alpha 63
    put(30, 30, 1);  // the other corner, so the crop keeps the whole picture
    put(4, 0, 1);    // two of four, different colours: alpha 127, the mean colour
    put(5, 1, 2);
    emblem::icon_set set;
    ASSERT_EQ(convert(pbm(W, W, 0, body, palette), set), status::ok);

    std::vector<std::vector<uint32_t>> rows(16, std::vector<uint32_t>(16, 0));
    rows[0][0] = 0x3FC86432;
    rows[15][15] = 0x3FC86432;
    rows[0][2] = 0x7F646419;
    EXPECT_EQ(set.images[0], icon(16, rows));
}

TEST(EmblemIcons, SmallCanvasIsScaledUpByNearestPixel) {
    // 3 x 1 red, white, green: canvas 3 square with the row in the middle.
    emblem::icon_set set;
    ASSERT_EQ(convert(pbm(3, 1, 0, {2, 1, 3, 0}), set), status::ok);
    std::vector<std::vector<uint32_t>> rows(16, std::vector<uint32_t>(16, 0));
    for (int y = 6; y <= 10; y++)
        for (int x = 0; x < 16; x++) rows[size_t(y)][size_t(x)] = x <= 5 ? RED : x <= 10 ? WHITE : GREEN;
    EXPECT_EQ(set.images[0], icon(16, rows));
}

TEST(EmblemIcons, OnePixelPictureFillsEveryImage) {
    emblem::icon_set set;
    ASSERT_EQ(convert(pbm(1, 1, 1, {0, 2}), set), status::ok);
    const size_t lengths[] = {1128, 2440, 4264, 9640, 16936, 67624, 270376};
    for (int k = 0; k < emblem::ICON_COUNT; k++) {
        int t = emblem::sizes[k];
        ASSERT_EQ(set.images[k].size(), lengths[k]);
        EXPECT_EQ(emblem::icon_image_size(t), lengths[k]);
        std::vector<std::vector<uint32_t>> rows(size_t(t), std::vector<uint32_t>(size_t(t), RED));
        EXPECT_EQ(set.images[k], icon(t, rows)) << "side " << t;
    }
}

TEST(EmblemIcons, GroupListsSevenImagesWithZeroForSide256) {
    emblem::icon_set set;
    ASSERT_EQ(convert(pbm(1, 1, 0, {1, 0}), set), status::ok);
    bytes expected = {0, 0, 1, 0, 7, 0};
    const uint32_t lengths[] = {1128, 2440, 4264, 9640, 16936, 67624, 270376};
    const uint8_t sides[] = {16, 24, 32, 48, 64, 128, 0};
    for (int k = 0; k < 7; k++) {
        expected.insert(expected.end(), {sides[k], sides[k], 0, 0, 1, 0, 32, 0});
        for (int i = 0; i < 4; i++) expected.push_back(uint8_t(lengths[k] >> (8 * i)));
        expected.insert(expected.end(), {uint8_t(k + 1), 0});
    }
    ASSERT_EQ(expected.size(), emblem::GROUP_DIR_SIZE);
    EXPECT_EQ(set.group, expected);
}

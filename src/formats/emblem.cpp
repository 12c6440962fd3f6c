// The game's emblem picture turned into seven 32-bit icon images.
#include "formats/emblem.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "formats/bytes.h"

namespace emblem {

namespace {

const size_t IFF_HEADER = 12;  // "FORM", length, form type
const size_t CHUNK_HEADER = 8; // id, length
// Width and height at 0 and 2, compression at 10: a shorter header is unusable.
const uint64_t BMHD_MIN = 11;
const unsigned OPAQUE_MIN_SUM = 60;
const size_t DIB_HEADER = 40;

// A chunk's body as far as it lies inside the data.
struct body_ref {
    bool seen = false;
    const uint8_t* p = nullptr;
    uint64_t len = 0;
};

bool is_id(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// Resizes v to n zeroed elements; false when the memory cannot be had.
template <typename T>
bool zeroed(std::vector<T>& v, size_t n) {
    try {
        v.assign(n, T(0));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// ByteRun1 as one stream over the whole index picture, so runs may cross rows.
// Stops when the picture is full or the body is used up; a run cut short by
// either end writes what fits.
void unpack_byterun1(const uint8_t* src, uint64_t n, uint8_t* dst, uint64_t size) {
    uint64_t in = 0, out = 0;
    while (out < size && in < n) {
        uint8_t c = src[in++];
        if (c < 128) {
            uint64_t fit = std::min({uint64_t(c) + 1, n - in, size - out});
            std::memcpy(dst + out, src + in, size_t(fit));
            in += fit;
            out += fit;
        } else if (c > 128) {
            if (in == n) break;  // the value byte is missing
            uint64_t fit = std::min(uint64_t(257 - c), size - out);
            std::memset(dst + out, src[in++], size_t(fit));
            out += fit;
        }
    }
}

}  // namespace

const char* message(status s) {
    switch (s) {
    case status::not_understood: return "game emblem picture not understood";
    case status::empty: return "game emblem picture is empty";
    case status::ok: break;
    }
    return nullptr;
}

size_t icon_image_size(int t) {
    size_t side = size_t(t);
    return DIB_HEADER + 4 * side * side + side * 4 * ((side + 31) / 32);
}

status decode(const uint8_t* data, uint64_t len, picture& colours) noexcept {
    colours = picture();
    if (len < IFF_HEADER || !is_id(data, "FORM") || !is_id(data + 8, "PBM ")) return status::not_understood;
    uint64_t end = std::min(len, 8 + uint64_t(fmt::be32(data + 4)));
    if (end < 20) return status::not_understood;

    bool have_header = false;
    unsigned width = 0, height = 0;
    uint8_t compression = 0;
    body_ref cmap, body;
    // pos never passes end: a chunk whose body would reach beyond it ends the walk.
    for (uint64_t pos = IFF_HEADER; end - pos >= CHUNK_HEADER;) {
        const uint8_t* c = data + pos;
        uint32_t clen = fmt::be32(c + 4);
        uint64_t start = pos + CHUNK_HEADER;
        // A body may claim more than the data holds; only what is there is read.
        body_ref ref{true, data + start, std::min(uint64_t(clen), len - start)};
        if (is_id(c, "BMHD")) {
            if (ref.len < BMHD_MIN) return status::not_understood;
            width = fmt::be16(ref.p);
            height = fmt::be16(ref.p + 2);
            compression = ref.p[10];
            have_header = true;
        } else if (is_id(c, "CMAP")) {
            cmap = ref;
        } else if (is_id(c, "BODY")) {
            body = ref;
        }
        uint64_t step = uint64_t(clen) + (clen & 1);
        if (step > end - start) break;
        pos = start + step;
    }
    if (!have_header || width == 0 || height == 0 || !cmap.seen || !body.seen) return status::not_understood;
    if (width > MAX_SIDE || height > MAX_SIDE) return status::not_understood;

    // Rows are padded to an even length; the pad byte of an odd width is no pixel.
    size_t row = (width + 1) & ~1u;
    size_t n = row * height;
    std::vector<uint8_t> index;
    if (!zeroed(index, n)) return status::not_understood;
    if (compression == 1)
        unpack_byterun1(body.p, body.len, index.data(), n);
    else
        std::memcpy(index.data(), body.p, size_t(std::min(body.len, uint64_t(n))));

    // An index with no whole entry in the palette reads as black, so it is
    // transparent like any other dark colour; palettes shorter than 256
    // entries are common and a stray index is no reason to give up.
    uint32_t colour_of[256];
    for (unsigned i = 0; i < 256; i++) {
        colour_of[i] = 0;
        if (3 * uint64_t(i) + 3 > cmap.len) continue;
        const uint8_t* e = cmap.p + 3 * i;
        if (unsigned(e[0]) + e[1] + e[2] < OPAQUE_MIN_SUM) continue;
        colour_of[i] = 0xFF000000u | uint32_t(e[0]) << 16 | uint32_t(e[1]) << 8 | e[2];
    }

    picture out;
    if (!zeroed(out.px, size_t(width) * height)) return status::not_understood;
    out.width = width;
    out.height = height;
    for (size_t y = 0; y < height; y++) {
        const uint8_t* in = index.data() + y * row;
        uint32_t* to = out.px.data() + y * width;
        for (size_t x = 0; x < width; x++) to[x] = colour_of[in[x]];
    }
    colours = std::move(out);
    return status::ok;
}

status square(const picture& colours, picture& canvas) noexcept {
    canvas = picture();
    size_t w = colours.width, h = colours.height;
    if (colours.px.size() != w * h) return status::not_understood;
    size_t min_x = w, max_x = 0, min_y = h, max_y = 0;
    for (size_t y = 0; y < h; y++) {
        const uint32_t* row = colours.px.data() + y * w;
        for (size_t x = 0; x < w; x++) {
            if ((row[x] >> 24) == 0) continue;
            min_x = std::min(min_x, x);
            max_x = std::max(max_x, x);
            min_y = std::min(min_y, y);
            max_y = std::max(max_y, y);
        }
    }
    if (min_x > max_x) return status::empty;

    size_t bw = max_x - min_x + 1, bh = max_y - min_y + 1;
    size_t m = std::max(bw, bh);
    size_t side = m + m / 16;
    picture out;
    if (!zeroed(out.px, side * side)) return status::not_understood;
    out.width = out.height = unsigned(side);
    size_t left = (side - bw) / 2, top = (side - bh) / 2;
    for (size_t j = 0; j < bh; j++)
        std::memcpy(&out.px[(top + j) * side + left], &colours.px[(min_y + j) * w + min_x], bw * 4);
    canvas = std::move(out);
    return status::ok;
}

std::vector<uint8_t> icon_image(const picture& canvas, int t) noexcept {
    std::vector<uint8_t> img;
    size_t s = canvas.width;
    if (t <= 0 || t > MAX_ICON_SIDE || s == 0 || canvas.height != s || canvas.px.size() != s * s) return img;
    size_t side = size_t(t);
    if (!zeroed(img, icon_image_size(t))) return img;

    uint8_t* p = img.data();
    fmt::put_le32(p, DIB_HEADER);
    fmt::put_le32(p + 4, uint32_t(t));
    fmt::put_le32(p + 8, uint32_t(2 * t));  // colour bitmap and mask together
    fmt::put_le16(p + 12, 1);
    fmt::put_le16(p + 14, 32);

    // Output pixel i covers canvas cells [i*S/t, (i+1)*S/t), at least one;
    // rows and columns share the spans since the canvas is square.
    size_t from[MAX_ICON_SIDE], to[MAX_ICON_SIDE];
    for (size_t i = 0; i < side; i++) {
        from[i] = i * s / side;
        to[i] = std::max((i + 1) * s / side, from[i] + 1);
    }

    for (size_t y = 0; y < side; y++) {
        uint8_t* out_row = p + DIB_HEADER + (side - 1 - y) * side * 4;  // bottom-up
        for (size_t x = 0; x < side; x++) {
            // 64-bit sums: a box of a large canvas would overflow 32 bits.
            uint64_t sum_a = 0, sum_r = 0, sum_g = 0, sum_b = 0;
            for (size_t cy = from[y]; cy < to[y]; cy++) {
                const uint32_t* src = canvas.px.data() + cy * s;
                for (size_t cx = from[x]; cx < to[x]; cx++) {
                    uint32_t v = src[cx];
                    uint64_t a = v >> 24;
                    sum_a += a;
                    sum_r += ((v >> 16) & 0xFF) * a;
                    sum_g += ((v >> 8) & 0xFF) * a;
                    sum_b += (v & 0xFF) * a;
                }
            }
            if (sum_a == 0) continue;
            uint64_t count = uint64_t(to[x] - from[x]) * (to[y] - from[y]);
            uint8_t* q = out_row + x * 4;
            q[0] = uint8_t(sum_b / sum_a);
            q[1] = uint8_t(sum_g / sum_a);
            q[2] = uint8_t(sum_r / sum_a);
            q[3] = uint8_t(sum_a / count);
        }
    }
    return img;
}

status convert(const uint8_t* data, uint64_t len, icon_set& out) noexcept {
    out = icon_set();
    icon_set set;
    status st;
    {
        picture canvas;
        {
            picture colours;
            st = decode(data, len, colours);
            if (st != status::ok) return st;
            st = square(colours, canvas);
            if (st != status::ok) return st;
        }
        for (int k = 0; k < ICON_COUNT; k++) {
            set.images[k] = icon_image(canvas, sizes[k]);
            if (set.images[k].empty()) return status::not_understood;
        }
    }

    if (!zeroed(set.group, GROUP_DIR_SIZE)) return status::not_understood;
    uint8_t* g = set.group.data();
    fmt::put_le16(g + 2, 1);
    fmt::put_le16(g + 4, ICON_COUNT);
    for (int k = 0; k < ICON_COUNT; k++) {
        uint8_t* e = g + 6 + 14 * k;
        uint8_t side = sizes[k] >= 256 ? 0 : uint8_t(sizes[k]);  // 0 stands for 256
        e[0] = side;
        e[1] = side;
        fmt::put_le16(e + 4, 1);
        fmt::put_le16(e + 6, 32);
        fmt::put_le32(e + 8, uint32_t(set.images[k].size()));
        fmt::put_le16(e + 12, uint16_t(k + 1));
    }
    out = std::move(set);
    return status::ok;
}

}  // namespace emblem

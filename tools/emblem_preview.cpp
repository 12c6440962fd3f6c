// Looks at what the emblem conversion makes: writes one icon image of a
// picture as a PNG file, with its alpha, for any image viewer. With --sample
// it writes a sample emblem picture (IFF "PBM ", ByteRun1) to convert.
//
//   emblem_preview PICTURE OUT.png [SIDE]   SIDE one of 16 24 32 48 64 128 256 (default 256)
//   emblem_preview --sample OUT.lbm
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "formats/emblem.h"

namespace {

using bytes = std::vector<uint8_t>;

void be32(bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; i--) b.push_back(uint8_t(v >> (8 * i)));
}
void be16(bytes& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

bool write_all(const char* path, const bytes& b) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return bool(f);
}

// --- PNG, stored (uncompressed) deflate blocks: no library needed ---

uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void png_chunk(bytes& out, const char* type, const bytes& data) {
    be32(out, uint32_t(data.size()));
    bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    be32(out, crc32(typed.data(), typed.size()));
}

// rgba: w * h pixels, top row first.
bytes png(uint32_t w, uint32_t h, const bytes& rgba) {
    bytes raw;
    for (uint32_t y = 0; y < h; y++) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), rgba.begin() + long(y * w * 4), rgba.begin() + long((y + 1) * w * 4));
    }
    bytes z = {0x78, 0x01};
    size_t at = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    be32(z, b << 16 | a);

    bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    bytes ihdr;
    be32(ihdr, w);
    be32(ihdr, h);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA
    png_chunk(out, "IHDR", ihdr);
    png_chunk(out, "IDAT", z);
    png_chunk(out, "IEND", {});
    return out;
}

// --- the sample picture ---

// ByteRun1, one row at a time: runs of three or more repeat, the rest is copied.
void byterun1_row(bytes& out, const uint8_t* row, size_t n) {
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && row[i + run] == row[i]) run++;
        if (run >= 3) {
            out.push_back(uint8_t(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t start = i, lit = 0;
        while (i < n && lit < 128) {
            if (i + 2 < n && row[i] == row[i + 1] && row[i] == row[i + 2]) break;
            i++;
            lit++;
        }
        out.push_back(uint8_t(lit - 1));
        out.insert(out.end(), row + start, row + start + lit);
    }
}

// A heater shield, gold rim, red and blue halves, a silver "T" with a dark
// outline, on a dark night sky with dim stars: all of the sky must vanish.
bytes sample_picture() {
    const int W = 321, H = 201;  // odd width: rows carry a pad byte
    const int row = (W + 1) & ~1;

    uint8_t pal[256][3] = {};
    auto set = [&](int i, double r, double g, double b) {
        pal[i][0] = uint8_t(std::lround(r));
        pal[i][1] = uint8_t(std::lround(g));
        pal[i][2] = uint8_t(std::lround(b));
    };
    set(0, 10, 12, 30);  // sky, colour sum 52
    set(1, 19, 20, 20);  // dim stars, 59
    const int GOLD = 2, RED = 18, BLUE = 50, SILVER = 82, OUTLINE = 98;
    for (int i = 0; i < 16; i++) set(GOLD + i, 250 - 6 * i, 200 - 6 * i, 70 - 2 * i);
    for (int i = 0; i < 32; i++) set(RED + i, 220 - 3 * i, 40 - i / 2.0, 45 - i / 2.0);
    for (int i = 0; i < 32; i++) set(BLUE + i, 50 - i / 2.0, 90 - i, 210 - 3 * i);
    for (int i = 0; i < 16; i++) set(SILVER + i, 250 - 4 * i, 250 - 4 * i, 255 - 3 * i);
    set(OUTLINE, 60, 40, 20);  // dark, but a sum of 120 keeps it

    const double cx = 160, top = 16, bottom = 190, half = 72, rim = 7;
    auto half_width = [&](double y, double t, double b, double hw) {
        if (y < t || y > b) return -1.0;
        double u = (y - t) / (b - t);
        if (u < 0.5) return hw;
        double v = (u - 0.5) / 0.5;
        return hw * (1 - std::pow(v, 1.8));
    };
    auto in_letter = [&](int x, int y, int grow) {
        auto box = [&](int x0, int x1, int y0, int y1) {
            return x >= x0 - grow && x <= x1 + grow && y >= y0 - grow && y <= y1 + grow;
        };
        return box(int(cx) - 40, int(cx) + 40, 44, 62) || box(int(cx) - 10, int(cx) + 10, 44, 148) ||
               box(int(cx) - 22, int(cx) + 22, 140, 148);
    };

    bytes index(size_t(row) * H, 0);
    uint32_t seed = 12345;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < row; x++) {
            uint8_t& p = index[size_t(y) * row + size_t(x)];
            seed = seed * 1103515245u + 12345u;
            if ((seed >> 16) % 23 == 0) p = 1;
            if (x >= W) {
                p = OUTLINE;  // the pad byte: never shown
                continue;
            }
            double dx = std::fabs(x - cx);
            double outer = half_width(y, top, bottom, half);
            if (dx > outer) continue;
            double inner = half_width(y, top + rim, bottom - rim * 1.6, half - rim);
            int shade = std::min(15, int((y - top) * 16 / (bottom - top)));
            if (dx > inner) {
                p = uint8_t(GOLD + shade);
            } else if (in_letter(x, y, 0)) {
                p = uint8_t(SILVER + std::min(15, int(dx) / 3));
            } else if (in_letter(x, y, 3)) {
                p = OUTLINE;
            } else {
                p = uint8_t((x < cx ? RED : BLUE) + 2 * shade + (x + y) % 2);
            }
        }

    bytes body;
    for (int y = 0; y < H; y++) byterun1_row(body, &index[size_t(y) * row], size_t(row));

    auto add_chunk = [](bytes& out, const char* id, const bytes& data) {
        out.insert(out.end(), id, id + 4);
        be32(out, uint32_t(data.size()));
        out.insert(out.end(), data.begin(), data.end());
        if (data.size() & 1) out.push_back(0);
    };
    bytes bmhd;
    be16(bmhd, W);
    be16(bmhd, H);
    be32(bmhd, 0);  // position
    bmhd.insert(bmhd.end(), {8, 0, 1, 0});  // planes, masking, compression ByteRun1, pad
    be16(bmhd, 0);  // transparent colour
    bmhd.insert(bmhd.end(), {10, 11});  // aspect
    be16(bmhd, 320);
    be16(bmhd, 200);
    bytes cmap(&pal[0][0], &pal[0][0] + sizeof pal);

    bytes inner = {'P', 'B', 'M', ' '};
    add_chunk(inner, "BMHD", bmhd);
    add_chunk(inner, "CMAP", cmap);
    add_chunk(inner, "BODY", body);
    bytes file = {'F', 'O', 'R', 'M'};
    be32(file, uint32_t(inner.size()));
    file.insert(file.end(), inner.begin(), inner.end());
    return file;
}

int usage() {
    std::fprintf(stderr,
                 "usage: emblem_preview PICTURE OUT.png [SIDE]\n"
                 "       emblem_preview --sample OUT.lbm\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--sample") == 0) {
        if (!write_all(argv[2], sample_picture())) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 3 && argc != 4) return usage();

    int side = argc == 4 ? std::atoi(argv[3]) : 256;
    int k = 0;
    while (k < emblem::ICON_COUNT && emblem::sizes[k] != side) k++;
    if (k == emblem::ICON_COUNT) return usage();

    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    emblem::icon_set set;
    emblem::status st = emblem::convert(data.data(), data.size(), set);
    if (st != emblem::status::ok) {
        std::fprintf(stderr, "%s\n", emblem::message(st));
        return 1;
    }

    // The icon image is BGRA, bottom row first, after a 40-byte header.
    const bytes& img = set.images[k];
    size_t t = size_t(side);
    bytes rgba(t * t * 4);
    for (size_t y = 0; y < t; y++)
        for (size_t x = 0; x < t; x++) {
            const uint8_t* s = &img[40 + ((t - 1 - y) * t + x) * 4];
            uint8_t* d = &rgba[(y * t + x) * 4];
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
        }
    if (!write_all(argv[2], png(uint32_t(t), uint32_t(t), rgba))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

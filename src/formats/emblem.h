// The game's emblem picture (IFF "PBM ", one palette index per pixel) turned
// into an icon: dark colours become transparent, the visible part is cropped,
// centred on a square with a narrow margin and scaled by area averaging to
// seven 32-bit icon images plus their group icon directory. Pure memory work;
// writing the resources is the caller's.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace emblem {

enum class status { ok, not_understood, empty };

// The log text of a failure; null for ok.
const char* message(status s);

const int ICON_COUNT = 7;
// Side of the icon image with id k at index k - 1.
inline constexpr int sizes[ICON_COUNT] = {16, 24, 32, 48, 64, 128, 256};

const size_t GROUP_DIR_SIZE = 6 + 14 * ICON_COUNT;
// A group entry holds the side in a byte, 0 standing for 256.
const int MAX_ICON_SIDE = 256;

// Largest width or height taken. Emblems are screen-sized paintings a few
// hundred pixels across; anything wider is damaged or hostile. At 2048 the
// index picture (4 MiB), the colour picture (16 MiB) and the canvas (at most
// 2176 pixels square, 18 MiB) together stay below 40 MiB.
const unsigned MAX_SIDE = 2048;

// Pixels of 32 bits, alpha << 24 | red << 16 | green << 8 | blue, top row first.
// After decoding each is either 0 or opaque with alpha 255.
struct picture {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<uint32_t> px;
};

// The resources of the icon: images[k - 1] is RT_ICON k, group is RT_GROUP_ICON 1.
struct icon_set {
    std::vector<uint8_t> images[ICON_COUNT];
    std::vector<uint8_t> group;
};

// Length of the icon image of side t: header, colour bitmap and mask.
size_t icon_image_size(int t);

// Recognises the picture, decodes its body and applies the palette and the
// transparency rule (colour sum below 60). ok, or not_understood.
status decode(const uint8_t* data, uint64_t len, picture& colours) noexcept;

// Crops to the opaque pixels and centres them on a square canvas of side
// m + m/16, m the larger side of the crop. ok, empty, or not_understood when
// the canvas cannot be allocated.
status square(const picture& colours, picture& canvas) noexcept;

// The icon image of side t scaled from a square canvas: a BITMAPINFOHEADER,
// the colour rows bottom-up and an all-zero mask. Empty when t is not 1 to
// MAX_ICON_SIDE, the canvas is not square and non-empty, or the memory cannot be had.
std::vector<uint8_t> icon_image(const picture& canvas, int t) noexcept;

// The whole conversion: decode, square, the seven images and the group.
// On anything but ok, out is left empty.
status convert(const uint8_t* data, uint64_t len, icon_set& out) noexcept;

}  // namespace emblem

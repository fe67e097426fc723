// Writes Windows bitmaps for tests: every bit depth the loader must read,
// bottom-up or top-down rows, and RLE4 / RLE8 compression.
#pragma once

#include <cstdint>
#include <vector>

#include "present/bmp_decode.h"

namespace ks::test {

enum class BmpRows { kBottomUp, kTopDown };
enum class BmpCompression { kNone, kRle };

// Encodes `image` (0x00RRGGBB) at `bitsPerPixel` (1, 4, 8, 24 or 32). Paletted
// depths take their palette from the image's colours, which must fit.
// RLE needs 4 or 8 bits and bottom-up rows.
std::vector<uint8_t> EncodeBmp(const Image& image, int bitsPerPixel, BmpRows rows = BmpRows::kBottomUp,
                               BmpCompression compression = BmpCompression::kNone);

// A `width` x `height` picture in which `colours` colours repeat in a pattern
// that differs across rows and columns, so a flipped, shifted or mis-padded
// decode does not match.
Image PatternImage(int width, int height, int colours);

// A picture of one colour.
Image SolidImage(int width, int height, uint32_t rgb);

}  // namespace ks::test

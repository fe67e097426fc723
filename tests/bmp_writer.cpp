#include "bmp_writer.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace ks::test {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// One row of palette indices as RLE: runs of one index, then end of line.
void EncodeRleRow(const std::vector<uint8_t>& indices, int bitsPerPixel, std::vector<uint8_t>& out) {
  size_t x = 0;
  while (x < indices.size()) {
    size_t run = 1;
    while (x + run < indices.size() && indices[x + run] == indices[x] && run < 255) ++run;
    out.push_back(uint8_t(run));
    out.push_back(bitsPerPixel == 8 ? indices[x] : uint8_t((indices[x] << 4) | indices[x]));
    x += run;
  }
  out.push_back(0);
  out.push_back(0);
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const Image& image, int bitsPerPixel, BmpRows rows, BmpCompression compression) {
  const bool paletted = bitsPerPixel <= 8;
  std::vector<uint32_t> palette;
  std::map<uint32_t, uint8_t> indexOf;
  if (paletted) {
    for (uint32_t p : image.pixels) {
      if (indexOf.emplace(p, uint8_t(palette.size())).second) palette.push_back(p);
    }
    if (palette.size() > (size_t{1} << bitsPerPixel)) std::abort();
  }
  const bool rle = compression == BmpCompression::kRle;

  std::vector<uint8_t> pixels;
  const size_t rowBytes = (size_t(image.width) * size_t(bitsPerPixel) + 31) / 32 * 4;
  for (int i = 0; i < image.height; ++i) {
    const int y = rows == BmpRows::kTopDown ? i : image.height - 1 - i;
    const uint32_t* src = image.pixels.data() + size_t(y) * size_t(image.width);
    if (rle) {
      std::vector<uint8_t> indices;
      for (int x = 0; x < image.width; ++x) indices.push_back(indexOf[src[x]]);
      EncodeRleRow(indices, bitsPerPixel, pixels);
      continue;
    }
    std::vector<uint8_t> row(rowBytes, 0);
    for (int x = 0; x < image.width; ++x) {
      const uint32_t p = src[x];
      switch (bitsPerPixel) {
        case 1: row[size_t(x) / 8] |= uint8_t(indexOf[p] << (7 - x % 8)); break;
        case 4: row[size_t(x) / 2] |= uint8_t(indexOf[p] << (x % 2 ? 0 : 4)); break;
        case 8: row[size_t(x)] = indexOf[p]; break;
        case 24:
        case 32: {
          uint8_t* d = &row[size_t(x) * size_t(bitsPerPixel / 8)];
          d[0] = uint8_t(p);
          d[1] = uint8_t(p >> 8);
          d[2] = uint8_t(p >> 16);
          break;
        }
        default: std::abort();
      }
    }
    pixels.insert(pixels.end(), row.begin(), row.end());
  }
  if (rle) {
    pixels.push_back(0);
    pixels.push_back(1);  // end of bitmap
  }

  const uint32_t paletteBytes = uint32_t(palette.size()) * 4;
  const uint32_t offset = 14 + 40 + paletteBytes;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, offset + uint32_t(pixels.size()));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, uint32_t(image.width));
  Put32(out, uint32_t(rows == BmpRows::kTopDown ? -image.height : image.height));
  Put16(out, 1);
  Put16(out, uint32_t(bitsPerPixel));
  Put32(out, rle ? (bitsPerPixel == 8 ? 1u : 2u) : 0u);
  Put32(out, uint32_t(pixels.size()));
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, uint32_t(palette.size()));
  Put32(out, 0);
  for (uint32_t c : palette) Put32(out, c);  // B, G, R, 0
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

Image PatternImage(int width, int height, int colours) {
  Image image{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int k = (x / 3 + y * 2 + (x * y) % 5) % colours;
      image.pixels.push_back(uint32_t(k * 0x3B1D57u + 0x102030u) & 0xFFFFFFu);
    }
  }
  return image;
}

Image SolidImage(int width, int height, uint32_t rgb) {
  return Image{width, height, std::vector<uint32_t>(size_t(width) * size_t(height), rgb)};
}

}  // namespace ks::test

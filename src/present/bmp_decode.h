// Decoding a Windows bitmap file held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ks {

// A decoded picture at its own size: 0x00RRGGBB pixels, top row first.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// The largest picture accepted. A background is 640 x 480; anything larger is
// cut at the screen's edge anyway, so this only bounds memory.
inline constexpr int kMaxBitmapSide = 16384;
inline constexpr int64_t kMaxBitmapPixels = int64_t{1} << 24;
inline constexpr size_t kMaxBitmapFileBytes = size_t{128} << 20;

// Decodes a Windows bitmap (1, 4, 8, 16, 24 or 32 bits per pixel, bottom-up
// or top-down, RLE4 and RLE8). The header is checked against the file's size
// before anything is allocated. Returns false with a reason when the file is
// refused; `image` is then left as it was.
bool DecodeBmp(const uint8_t* data, size_t size, Image* image, std::string* error);

}  // namespace ks

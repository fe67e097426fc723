// The drawing layer's value types: a 32-bit pixel surface, a rectangle and a
// colour. Pixels are 0x00RRGGBB in memory order B, G, R, X: bytes 0 to 2 are
// the colour channels and byte 3 is left alone by everything but a whole copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ks {

struct Color {
  uint8_t r = 0, g = 0, b = 0;
  constexpr uint32_t Pixel() const { return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b; }
  bool operator==(const Color&) const = default;
};

inline constexpr Color kWhite{255, 255, 255};
inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kHighlight{50, 255, 50};

// Half-open: left and top are inside, right and bottom are not.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Rect&) const = default;
};

struct Surface {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // row-major, `width` pixels a row

  Surface() = default;
  Surface(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h), 0) {}

  uint32_t* Row(int y) { return pixels.data() + size_t(y) * size_t(width); }
  const uint32_t* Row(int y) const { return pixels.data() + size_t(y) * size_t(width); }
  uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(pixels.data()); }
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(pixels.data()); }
};

}  // namespace ks

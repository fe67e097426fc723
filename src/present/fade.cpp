// Each colour byte of each pixel loses 150 when it is above 150 and becomes 0
// otherwise, so any screen is black after two steps; the step that still
// found a byte above 150 reports 1. Byte 3 of a pixel is never touched.
// The visit order is the player's own: the even rows column by column, left
// to right, each column top to bottom; then the odd rows column by column,
// right to left. Each byte's result does not depend on it.
#include "present/fade.h"

#include "engine/limits.h"

namespace ks {
namespace {

inline void FadePixel(uint8_t* pixel, int& result) {
  for (int channel = 0; channel < 3; ++channel) {
    uint8_t& b = pixel[channel];
    if (b > 150) {
      b = uint8_t(b - 150);
      result = 1;
    } else {
      b = 0;
    }
  }
}

}  // namespace

int FadeStep(Surface& screen) {
  if (screen.width < kScreenWidth || screen.height < kScreenHeight) return 0;  // nothing to fade
  uint8_t* bytes = screen.Bytes();
  const size_t pitch = size_t(screen.width) * 4;
  int result = 0;
  for (int x = 0; x < kScreenWidth; ++x) {
    for (int y = 0; y < kScreenHeight; y += 2) FadePixel(bytes + size_t(y) * pitch + size_t(x) * 4, result);
  }
  for (int x = kScreenWidth - 1; x >= 0; --x) {
    for (int y = 1; y < kScreenHeight; y += 2) FadePixel(bytes + size_t(y) * pitch + size_t(x) * 4, result);
  }
  return result;
}

}  // namespace ks

// Each colour byte of each pixel loses 150 when it is above 150 and becomes 0
// otherwise, so any screen is black after two steps; the step that still
// found a byte above 150 reports 1. Byte 3 of a pixel is never touched.
// Each byte's result depends on that byte alone, so the screen is walked
// in memory order, sixteen bytes at a time.
#include "present/fade.h"

#include <cstring>

#include "core/limits.h"

namespace ks {
namespace {

using Bytes16 = uint8_t __attribute__((vector_size(16)));

}  // namespace

int FadeStep(Surface& screen) {
  if (screen.width < kScreenWidth || screen.height < kScreenHeight) return 0;  // nothing to fade
  // 150 for the colour bytes, 0 for byte 3, which then keeps its value.
  const Bytes16 fall = {150, 150, 150, 0, 150, 150, 150, 0, 150, 150, 150, 0, 150, 150, 150, 0};
  const Bytes16 colour = {255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0};
  Bytes16 above = {};
  uint8_t* bytes = screen.Bytes();
  const size_t pitch = size_t(screen.width) * 4;
  for (int y = 0; y < kScreenHeight; ++y) {
    uint8_t* row = bytes + size_t(y) * pitch;
    for (size_t x = 0; x < size_t(kScreenWidth) * 4; x += 16) {
      Bytes16 v;
      std::memcpy(&v, row + x, 16);
      // v - min(v, fall): a colour byte of 150 or less becomes 0, byte 3 keeps
      // its value; what is left of a colour byte says it was above 150.
      v -= v < fall ? v : fall;
      above |= v & colour;
      std::memcpy(row + x, &v, 16);
    }
  }
  for (int i = 0; i < 16; ++i) {
    if (above[i]) return 1;
  }
  return 0;
}

}  // namespace ks

// What a composed frame drew over its background, kept so that the next frame
// can tell whether it would draw exactly the same picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "present/surface.h"

namespace ks {

struct DrawOp {
  enum class Kind : uint8_t { kPageText, kBox, kMenuText, kNoticeText };
  Kind kind = Kind::kPageText;
  Rect box;  // the rectangle of a box or of the page; x, y in left, top for text
  Color color;
  std::string text;  // the bytes drawn, up to the NUL

  bool operator==(const DrawOp&) const = default;
};

struct Scene {
  uint64_t background = 0;  // the background generation the frame was drawn on
  std::vector<DrawOp> ops;

  bool operator==(const Scene&) const = default;
};

}  // namespace ks

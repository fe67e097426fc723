// What a composed frame draws over its background, in order: the record the
// frame keeps (DisplayState::shownScene) and the boxes a click is measured
// against. present/ builds it and draws it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/surface.h"

namespace ks {

// What stands out the story's text from the picture behind it.
enum class TextStyle : uint8_t { kPlain, kBand, kOutline };

struct DrawOp {
  enum class Kind : uint8_t { kPageText, kBox, kMenuText, kNoticeText, kFill, kDarken };
  Kind kind = Kind::kPageText;
  Rect box;  // the rectangle of a box or of the page; x, y in left, top for text
  Color color;
  std::string text;  // the bytes drawn, up to the NUL
  TextStyle style = TextStyle::kPlain;

  bool operator==(const DrawOp&) const = default;
};

struct Scene {
  uint64_t background = 0;  // the background generation the frame was drawn on
  std::vector<DrawOp> ops;

  bool operator==(const Scene&) const = default;
};

enum class Notice { kSaved, kLoaded, kTitle, kSaveFailed };

}  // namespace ks

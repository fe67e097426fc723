// What a composed frame draws over its background, in order: the record the
// frame keeps (DisplayState::shownScene) and the boxes a click is measured
// against. present/ builds it and draws it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/surface.h"

namespace ks {

struct DrawOp {
  enum class Kind : uint8_t { kPageText, kBox, kMenuText, kNoticeText, kFill, kDarken, kImage };
  Kind kind = Kind::kPageText;
  Rect box;  // the rectangle of a box or of the page; x, y in left, top for text
  Color color;
  std::string text;  // the bytes drawn, up to the NUL
  std::shared_ptr<const Surface> image = nullptr;  // drawn with its top left at the box's

  bool operator==(const DrawOp&) const = default;
};

struct Scene {
  uint64_t background = 0;  // the background generation the frame was drawn on
  std::vector<DrawOp> ops;

  bool operator==(const Scene&) const = default;
};

enum class Notice { kSaved, kLoaded, kTitle, kSaveFailed };

}  // namespace ks

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

// The lists a reader picks rows from, and where a row was drawn: its line
// across the list's width, 8 pixels either side of its text.
enum class RowList : uint8_t { kNone, kMenu, kChoices, kSlots };
struct RowBox {
  RowList list = RowList::kNone;
  int row = -1;
  Rect box;
};

// What stands out the story's text from the picture behind it.
enum class TextStyle : uint8_t { kPlain, kBand, kOutline };

struct DrawOp {
  enum class Kind : uint8_t { kPageText, kBox, kMenuText, kNoticeText, kFill, kDarken, kImage };
  Kind kind = Kind::kPageText;
  Rect box;  // the rectangle of a box or of the page; x, y in left, top for text
  Color color;
  std::string text;  // the bytes drawn, up to the NUL
  // A row of a list: its number, and where it is hit. Text (kMenuText) is
  // hit on its line, from 8 pixels left of the text to 8 pixels right of it
  // or `box.right`, whichever is further, and from `box.top` to
  // `box.bottom`; anything else in its whole box.
  RowList list = RowList::kNone;
  int row = -1;
  std::shared_ptr<const Surface> image = nullptr;  // drawn with its top left at the box's
  TextStyle style = TextStyle::kPlain;

  bool operator==(const DrawOp&) const = default;
};

struct Scene {
  uint64_t background = 0;  // the background generation the frame was drawn on
  std::vector<DrawOp> ops;
  // Where the rows were drawn, as the font drew them; filled in by drawing,
  // and not part of what the scene is.
  std::vector<RowBox> rows;

  bool operator==(const Scene& other) const { return background == other.background && ops == other.ops; }
};

// The row drawn at (x, y); a box of no list when there is none.
inline RowBox RowAt(const Scene& scene, int x, int y) {
  for (const RowBox& r : scene.rows) {
    if (x >= r.box.left && x < r.box.right && y >= r.box.top && y < r.box.bottom) return r;
  }
  return {};
}

enum class Notice { kSaved, kLoaded, kTitle, kSaveFailed };

}  // namespace ks

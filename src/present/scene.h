// The scene of a composed frame: what is drawn over the background, in
// order. The engine adds each part at the moment the screen shows it (the
// page after Enter has run the script, a notice even in the frame that
// dismisses it, the menu before its row is taken), and the frame is then
// drawn from the scene. A frame whose scene equals the one on the screen
// needs no pixel work.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "present/surface.h"

namespace ks {

struct PageState;
struct ChoiceState;

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

// The page text in white in its rectangle.
void AddPageText(Scene& scene, const PageState& page);
// A notice's box and its black text.
void AddNotice(Scene& scene, Notice notice);
// The system menu's box and rows, the row at `cursor` highlighted.
void AddSystemMenu(Scene& scene, int32_t cursor);
// The first `count` choices in white, the one at `cursor` highlighted.
void AddChoiceList(Scene& scene, const ChoiceState& choices, int32_t count, int32_t cursor);

// The menu row, or the choice, drawn at picture point (x, y); -1 for none.
int MenuRowAt(int x, int y);
int ChoiceAt(const ChoiceState& choices, int32_t count, int x, int y);

// The reader's marks over the picture: the volume (0 to 100, or muted),
// that a screenshot was taken, and a box of help lines (code page 932).
void AddVolumeMark(Scene& scene, int volume, bool muted);
void AddShotMark(Scene& scene);
void AddHelp(Scene& scene, const std::vector<std::string>& lines);
// A page of the backlog, drawn as the page was, over the picture darkened to
// half, with where it is ("n / N").
void AddBacklogPage(Scene& scene, const std::string& text, size_t n, size_t total);
// A mode's mark in the top right corner ("SKIP", "AUTO").
void AddModeMark(Scene& scene, const std::string& text);

}  // namespace ks

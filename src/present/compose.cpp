#include "present/compose.h"

#include <algorithm>

#include "present/draw.h"
#include "present/font.h"

namespace ks {
namespace {

// Draws `op`; a row of a list is recorded in `rows` where its text went.
void Draw(EngineState& state, const DrawOp& op, std::vector<RowBox>& rows) {
  Surface& target = state.display.backBuffer;
  Font* menuFont = state.fonts.menuFont.get();
  Font* pageFont = state.fonts.pageFont.get();
  const std::string& text = op.text;
  switch (op.kind) {
    case DrawOp::Kind::kPageText:
      if (pageFont) DrawText(target, *pageFont, text.data(), text.size(), op.box, op.color, op.style);
      break;
    case DrawOp::Kind::kBox: RoundRect(target, op.box); break;
    case DrawOp::Kind::kMenuText:
      if (!menuFont) break;
      if (const int end = TextOut(target, *menuFont, op.box.left, op.box.top, text.data(), text.size(), op.color, op.style);
          op.list != RowList::kNone) {
        rows.push_back({op.list, op.row, {op.box.left - 8, op.box.top, std::max(end + 8, op.box.right), op.box.bottom}});
      }
      break;
    case DrawOp::Kind::kNoticeText:
      if (pageFont) TextOut(target, *pageFont, op.box.left, op.box.top, text.data(), text.size(), op.color);
      break;
    case DrawOp::Kind::kFill: FillRect(target, op.box, op.color); break;
    case DrawOp::Kind::kDarken:
      for (uint32_t& pixel : target.pixels) pixel = (pixel >> 1) & 0x7F7F7F;
      break;
    case DrawOp::Kind::kImage:
      if (op.image) DrawImage(target, *op.image, op.box.left, op.box.top);
      break;
  }
  // A row drawn by anything but text is hit anywhere in its box.
  if (op.list != RowList::kNone && op.kind != DrawOp::Kind::kMenuText) rows.push_back({op.list, op.row, op.box});
}

}  // namespace

Scene BeginFrame(DisplayState& display) {
  display.composing = true;
  display.backBufferReady = false;
  Scene scene;
  scene.background = display.backgroundGeneration;
  return scene;
}

void SaveFrameBackground(DisplayState& display) {
  if (!display.composing || display.backBufferReady) return;
  CopySurface(display.backgroundSurface, display.backBuffer);
  display.backBufferReady = true;
}

bool ComposeFrame(EngineState& state, Scene scene) {
  DisplayState& display = state.display;
  const bool shown = display.sceneShown && scene == display.shownScene;
  display.settled = shown;
  if (!shown) {
    SaveFrameBackground(display);
    for (const DrawOp& op : scene.ops) Draw(state, op, scene.rows);
    display.shownScene = std::move(scene);
    display.sceneShown = true;
  }
  AbandonFrame(display);
  return !shown;
}

void AbandonFrame(DisplayState& display) {
  display.composing = false;
  display.backBufferReady = false;
}

}  // namespace ks

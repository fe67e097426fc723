// Each processed frame either steps the fade or composes a picture: the
// current background is copied to the back buffer, one screen is drawn over it
// (chosen by `uiMode` as it stands when the branch is chosen, so a change made
// inside a branch shows from the next frame), and the buffers are flipped.
// Keys are read at the moment of each test. A key with a latch acts when it is
// down and its latch is clear, and sets the latch; the latch clears when a
// test finds the key up. The Enter latch is tested for release once in every
// frame that is not a fade frame; each screen's Up and Down latches only in
// frames that show that screen.
//
// The order of work inside a frame is visible and kept: Enter on a page runs
// the script before the page is drawn but after the background was copied, so
// a new picture shows one frame after its page; a page that ran into a choice
// list is drawn once more (up to its old terminator) before the list shows;
// and Up and Down are still handled in the frame a choice is taken, against
// the screen the story is now on.
//
// A page waiting for the reader would be composed, unchanged, thirty times a
// second. So every frame records what it draws (the scene), and a frame that
// starts with all four keys up - which can change nothing the picture shows -
// only records it: when it equals the scene on the screen, no pixel is
// touched. Keys are then taken as they were at the frame's start. A frame
// with a key down draws as it goes, in the order described above.
#include "present/frame.h"

#include <algorithm>
#include <cstring>

#include "engine/report.h"
#include "present/draw.h"
#include "present/fade.h"
#include "save/save_file.h"
#include "script/interpreter.h"
#include "script/script_file.h"
#include "sound/sound.h"

namespace ks {
namespace {

constexpr Rect kPageRect{40, 35, 600, 430};
constexpr Rect kNoticeBox{230, 210, 362, 250};
constexpr Rect kTitleNoticeBox{230, 210, 390, 250};
constexpr int kNoticeTextX = 240, kNoticeTextY = 220;
constexpr Rect kMenuBox{250, 185, 335, 310};
constexpr int kMenuTextX = 265, kMenuTextY = 200;
constexpr int kRowPitch = 20;

// The system menu's rows, in Shift-JIS.
enum MenuRow { kSaveRow, kLoadRow, kCancelRow, kQuitRow, kTitleRow, kMenuRows };
constexpr char kMenuRowText[kMenuRows][20] = {
    "\x83\x5A\x81\x5B\x83\x75",  // セーブ
    "\x83\x8D\x81\x5B\x83\x68",  // ロード
    "\xB7\xAC\xDD\xBE\xD9",      // ｷｬﾝｾﾙ
    "\x8F\x49\x81\x40\x97\xB9",  // 終　了
    "\xC0\xB2\xC4\xD9\x82\xD6",  // ﾀｲﾄﾙへ
};
constexpr char kSavedText[] = "\x83\x5A\x81\x5B\x83\x75\x82\xB5\x82\xDC\x82\xB5\x82\xBD";  // セーブしました
constexpr char kLoadedText[] = "\x83\x8D\x81\x5B\x83\x68\x82\xB5\x82\xDC\x82\xB5\x82\xBD";  // ロードしました
constexpr char kTitleText[] =
    "\x83\x5E\x83\x43\x83\x67\x83\x8B\x82\xD6\x96\xDF\x82\xE8\x82\xDC\x82\xB7";  // タイトルへ戻ります

// The keys as the frame sees them: read at each test, or all up in a frame
// that began with every key up.
class Keys {
 public:
  Keys(Platform& platform, bool allUp) : platform_(platform), allUp_(allUp) {}
  bool Down(Key key) { return !allUp_ && platform_.IsKeyDown(key); }

 private:
  Platform& platform_;
  bool allUp_;
};

// Records each drawing of the frame into its scene and, when drawing now,
// draws it on the back buffer at once.
class Canvas {
 public:
  Canvas(EngineState& state, bool drawNow) : state_(state), drawNow_(drawNow) {
    scene_.background = state.backgroundGeneration;
  }

  void PageText(const char* text) { Add({DrawOp::Kind::kPageText, kPageRect, kWhite, Bytes(text, kPageBytes)}); }
  void Box(const Rect& box) { Add({DrawOp::Kind::kBox, box, kBlack, {}}); }
  void MenuText(int x, int y, const char* text, size_t length, Color color) {
    Add({DrawOp::Kind::kMenuText, {x, y, x, y}, color, Bytes(text, length)});
  }
  void NoticeText(const char* text) {
    Add({DrawOp::Kind::kNoticeText, {kNoticeTextX, kNoticeTextY, kNoticeTextX, kNoticeTextY}, kBlack, text});
  }

  // Draws the whole scene over a fresh copy of the background.
  void DrawAll() {
    CopySurface(state_.backgroundSurface, state_.backBuffer);
    for (const DrawOp& op : scene_.ops) Draw(op);
  }
  Scene& scene() { return scene_; }

 private:
  static std::string Bytes(const char* text, size_t length) { return std::string(text, strnlen(text, length)); }

  void Add(DrawOp op) {
    if (drawNow_) Draw(op);
    scene_.ops.push_back(std::move(op));
  }

  void Draw(const DrawOp& op) {
    Surface& target = state_.backBuffer;
    const std::string& text = op.text;
    switch (op.kind) {
      case DrawOp::Kind::kPageText:
        if (state_.pageFont) DrawText(target, *state_.pageFont, text.data(), text.size(), op.box, op.color);
        break;
      case DrawOp::Kind::kBox: RoundRect(target, op.box); break;
      case DrawOp::Kind::kMenuText:
        if (state_.menuFont) TextOut(target, *state_.menuFont, op.box.left, op.box.top, text.data(), text.size(), op.color);
        break;
      case DrawOp::Kind::kNoticeText:
        if (state_.pageFont) TextOut(target, *state_.pageFont, op.box.left, op.box.top, text.data(), text.size(), op.color);
        break;
    }
  }

  EngineState& state_;
  bool drawNow_;
  Scene scene_;
};

// Enter acts: it is down and has not acted since it was last seen up.
bool EnterActs(const EngineState& state, Keys& keys) { return keys.Down(Key::kEnter) && !state.enterLatch; }

// Up and Down with their latches; the cursor stays within [0, last].
void MoveCursor(EngineState& state, Keys& keys, uint32_t& upLatch, uint32_t& downLatch, int32_t last) {
  if (keys.Down(Key::kUp) && !upLatch) {
    upLatch = 1;
    if (--state.cursor < 0) state.cursor = 0;
  }
  if (!keys.Down(Key::kUp)) upLatch = 0;
  if (keys.Down(Key::kDown) && !downLatch) {
    downLatch = 1;
    if (++state.cursor > last) state.cursor = last;
  }
  if (!keys.Down(Key::kDown)) downLatch = 0;
}

void DrawNotice(Canvas& canvas, const Rect& box, const char* text) {
  canvas.Box(box);
  canvas.NoticeText(text);
}

void TextPage(EngineState& state, Keys& keys, Canvas& canvas) {
  if (!state.savedNotice && !state.loadedNotice && !state.titleNotice) {
    if (EnterActs(state, keys)) {
      state.enterLatch = 1;
      RunScript(state);
    }
    if (keys.Down(Key::kSpace) && !state.enterLatch) state.uiMode = kUiMenu;
  }
  canvas.PageText(state.pageText);

  // A notice dismissed in this frame is still drawn in this frame.
  if (state.savedNotice) {
    if (EnterActs(state, keys)) {
      state.enterLatch = 1;
      state.savedNotice = 0;
    }
    DrawNotice(canvas, kNoticeBox, kSavedText);
  }
  if (state.loadedNotice) {
    if (EnterActs(state, keys)) {
      state.enterLatch = 1;
      state.loadedNotice = 0;
    }
    DrawNotice(canvas, kNoticeBox, kLoadedText);
    StopLoopSe(state);
  }
  if (state.titleNotice) {
    if (EnterActs(state, keys)) {
      state.enterLatch = 1;
      state.titleNotice = 0;
      state.scriptPos = 0;
      RunScript(state);
    }
    DrawNotice(canvas, kTitleNoticeBox, kTitleText);
    StopLoopSe(state);
  }
}

// Returns false when the frame ends here, without a flip (after a load).
bool SystemMenu(EngineState& state, Keys& keys, Canvas& canvas) {
  canvas.Box(kMenuBox);
  for (int row = 0; row < kMenuRows; ++row) {
    canvas.MenuText(kMenuTextX, kMenuTextY + kRowPitch * row, kMenuRowText[row], sizeof kMenuRowText[row],
                    row == state.cursor ? kHighlight : kBlack);
  }
  if (EnterActs(state, keys)) {
    std::string error;
    switch (state.cursor) {
      case kSaveRow:
        // Only a save that reached the disk is announced.
        if (SaveGame(state, &error)) {
          state.savedNotice = 1;
        } else {
          Report(error);
        }
        break;
      case kLoadRow:
        if (LoadGame(state, &error)) {
          // The latch is set here too, so the notice stays until Enter is
          // pressed afresh instead of vanishing with the press that loaded.
          state.uiMode = kUiPage;
          state.loadedNotice = 1;
          state.enterLatch = 1;
          return false;
        }
        Report(error);  // nothing was loaded: back to the page as on cancel
        break;
      case kQuitRow: state.quitRequested = 1; break;
      case kTitleRow: state.titleNotice = 1; break;
      default: break;  // cancel, and any row outside the menu
    }
    state.uiMode = kUiPage;
    state.cursor = 0;
    state.enterLatch = 1;
  }
  MoveCursor(state, keys, state.menuUpLatch, state.menuDownLatch, kMenuRows - 1);
  return true;
}

void ChoiceList(EngineState& state, Keys& keys, Canvas& canvas) {
  const int32_t count = state.uiMode;
  for (int i = 0; i < count; ++i) {
    canvas.MenuText(state.choiceX, state.choiceY + kRowPitch * i, state.choiceTexts[i], kChoiceTextBytes,
                    i == state.cursor ? kHighlight : kWhite);
  }
  if (EnterActs(state, keys)) {
    const bool onAChoice = state.cursor >= 0 && state.cursor < count;
    state.scriptPos = LabelPosition(state, onAChoice ? state.choiceTargets[state.cursor] : -1);
    state.uiMode = kUiPage;
    RunScript(state);
    state.enterLatch = 1;
  }
  // Against `uiMode` as it is now: 0 when a choice was just taken.
  MoveCursor(state, keys, state.choiceUpLatch, state.choiceDownLatch, state.uiMode - 1);
}

}  // namespace

uint32_t TimeToNextFrame(const EngineState& state, uint32_t now) {
  const uint32_t since = now - state.lastFrameTime;
  return since >= kFrameMs ? 0 : kFrameMs - since;
}

bool UpdateFrame(EngineState& state, Platform& platform) {
  const uint32_t now = platform.NowMs();
  if (now - state.lastFrameTime < kFrameMs) return false;
  state.lastFrameTime = now;

  // Fade frames darken the visible picture in place; nothing is composed.
  if (state.fadeActive) {
    state.fadeActive = uint32_t(FadeStep(state));
    state.sceneShown = false;
    platform.Present(state.primarySurface);
    if (!state.fadeActive) RunScript(state);
    return true;
  }

  if (!platform.IsKeyDown(Key::kEnter)) state.enterLatch = 0;
  const bool keysUp = !platform.IsKeyDown(Key::kEnter) && !platform.IsKeyDown(Key::kSpace) &&
                      !platform.IsKeyDown(Key::kUp) && !platform.IsKeyDown(Key::kDown);
  Keys keys(platform, keysUp);
  Canvas canvas(state, /*drawNow=*/!keysUp);
  if (!keysUp) CopySurface(state.backgroundSurface, state.backBuffer);
  const int32_t mode = state.uiMode;
  if (mode == kUiPage) {
    TextPage(state, keys, canvas);
  } else if (mode == kUiMenu) {
    if (!SystemMenu(state, keys, canvas)) return true;
  } else if (mode >= 1 && mode <= kMaxChoices) {
    ChoiceList(state, keys, canvas);
  }
  if (keysUp) {
    if (state.sceneShown && canvas.scene() == state.shownScene) return true;  // already on the screen
    canvas.DrawAll();
  }
  Flip(state, platform);
  state.shownScene = std::move(canvas.scene());
  state.sceneShown = true;
  return true;
}

void Flip(EngineState& state, Platform& platform) {
  std::swap(state.primarySurface, state.backBuffer);
  platform.Present(state.primarySurface);
}

namespace {

// The player's two fonts, opened once per process and shared by every engine.
struct PlayerFonts {
  std::shared_ptr<Font> menu;
  std::shared_ptr<Font> page;
  std::string error;
};

const PlayerFonts& Fonts() {
  static const PlayerFonts fonts = [] {
    PlayerFonts opened;
    opened.menu = Font::Open({16, /*heaviest=*/true, /*fixedPitch=*/true}, &opened.error);
    if (opened.menu) opened.page = Font::Open({16, /*heaviest=*/false, /*fixedPitch=*/false}, &opened.error);
    return opened;
  }();
  return fonts;
}

}  // namespace

bool OpenFonts(EngineState& state, std::string* error) {
  const PlayerFonts& fonts = Fonts();
  if (!fonts.menu || !fonts.page) {
    if (error) *error = fonts.error;
    return false;
  }
  state.menuFont = fonts.menu;
  state.pageFont = fonts.page;
  return true;
}

}  // namespace ks

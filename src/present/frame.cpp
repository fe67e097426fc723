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
#include "present/frame.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

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

// Enter acts: it is down and has not acted since it was last seen up.
bool EnterActs(const EngineState& state, Platform& platform) {
  return platform.IsKeyDown(Key::kEnter) && !state.enterLatch;
}

// Up and Down with their latches; the cursor stays within [0, last].
void MoveCursor(EngineState& state, Platform& platform, uint32_t& upLatch, uint32_t& downLatch, int32_t last) {
  if (platform.IsKeyDown(Key::kUp) && !upLatch) {
    upLatch = 1;
    if (--state.cursor < 0) state.cursor = 0;
  }
  if (!platform.IsKeyDown(Key::kUp)) upLatch = 0;
  if (platform.IsKeyDown(Key::kDown) && !downLatch) {
    downLatch = 1;
    if (++state.cursor > last) state.cursor = last;
  }
  if (!platform.IsKeyDown(Key::kDown)) downLatch = 0;
}

void DrawNotice(EngineState& state, const Rect& box, const char* text) {
  RoundRect(state.backBuffer, box);
  if (state.pageFont) TextOut(state.backBuffer, *state.pageFont, kNoticeTextX, kNoticeTextY, text, std::strlen(text), kBlack);
}

void TextPage(EngineState& state, Platform& platform) {
  if (!state.savedNotice && !state.loadedNotice && !state.titleNotice) {
    if (EnterActs(state, platform)) {
      state.enterLatch = 1;
      RunScript(state);
    }
    if (platform.IsKeyDown(Key::kSpace) && !state.enterLatch) state.uiMode = kUiMenu;
  }
  if (state.pageFont) DrawText(state.backBuffer, *state.pageFont, state.pageText, kPageBytes, kPageRect, kWhite);

  // A notice dismissed in this frame is still drawn in this frame.
  if (state.savedNotice) {
    if (EnterActs(state, platform)) {
      state.enterLatch = 1;
      state.savedNotice = 0;
    }
    DrawNotice(state, kNoticeBox, kSavedText);
  }
  if (state.loadedNotice) {
    if (EnterActs(state, platform)) {
      state.enterLatch = 1;
      state.loadedNotice = 0;
    }
    DrawNotice(state, kNoticeBox, kLoadedText);
    StopLoopSe(state);
  }
  if (state.titleNotice) {
    if (EnterActs(state, platform)) {
      state.enterLatch = 1;
      state.titleNotice = 0;
      state.scriptPos = 0;
      RunScript(state);
    }
    DrawNotice(state, kTitleNoticeBox, kTitleText);
    StopLoopSe(state);
  }
}

// Returns false when the frame ends here, without a flip (after a load).
bool SystemMenu(EngineState& state, Platform& platform) {
  RoundRect(state.backBuffer, kMenuBox);
  for (int row = 0; row < kMenuRows; ++row) {
    if (!state.menuFont) break;
    TextOut(state.backBuffer, *state.menuFont, kMenuTextX, kMenuTextY + kRowPitch * row, kMenuRowText[row],
            sizeof kMenuRowText[row], row == state.cursor ? kHighlight : kBlack);
  }
  if (EnterActs(state, platform)) {
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
  MoveCursor(state, platform, state.menuUpLatch, state.menuDownLatch, kMenuRows - 1);
  return true;
}

void ChoiceList(EngineState& state, Platform& platform) {
  const int32_t count = state.uiMode;
  for (int i = 0; i < count && state.menuFont; ++i) {
    TextOut(state.backBuffer, *state.menuFont, state.choiceX, state.choiceY + kRowPitch * i, state.choiceTexts[i],
            kChoiceTextBytes, i == state.cursor ? kHighlight : kWhite);
  }
  if (EnterActs(state, platform)) {
    const bool onAChoice = state.cursor >= 0 && state.cursor < count;
    state.scriptPos = LabelPosition(state, onAChoice ? state.choiceTargets[state.cursor] : -1);
    state.uiMode = kUiPage;
    RunScript(state);
    state.enterLatch = 1;
  }
  // Against `uiMode` as it is now: 0 when a choice was just taken.
  MoveCursor(state, platform, state.choiceUpLatch, state.choiceDownLatch, state.uiMode - 1);
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
    platform.Present(state.primarySurface);
    if (!state.fadeActive) RunScript(state);
    return true;
  }

  if (!platform.IsKeyDown(Key::kEnter)) state.enterLatch = 0;
  CopySurface(state.backgroundSurface, state.backBuffer);
  const int32_t mode = state.uiMode;
  if (mode == kUiPage) {
    TextPage(state, platform);
  } else if (mode == kUiMenu) {
    if (!SystemMenu(state, platform)) return true;
  } else if (mode >= 1 && mode <= kMaxChoices) {
    ChoiceList(state, platform);
  }
  Flip(state, platform);
  return true;
}

void Flip(EngineState& state, Platform& platform) {
  std::swap(state.primarySurface, state.backBuffer);
  platform.Present(state.primarySurface);
}

bool OpenFonts(EngineState& state, std::string* error) {
  // Opened once per process and shared: every engine draws with the same two.
  static std::map<std::tuple<int, bool, bool>, std::shared_ptr<Font>> opened;
  auto open = [&](const FontRequest& request) {
    auto& font = opened[{request.cellHeight, request.heaviest, request.fixedPitch}];
    if (!font) font = Font::Open(request, error);
    return font;
  };
  state.menuFont = open({16, /*heaviest=*/true, /*fixedPitch=*/true});
  state.pageFont = open({16, /*heaviest=*/false, /*fixedPitch=*/false});
  return state.menuFont && state.pageFont;
}

}  // namespace ks

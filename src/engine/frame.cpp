#include "engine/frame.h"

#include <utility>

#include "engine/intents.h"
#include "engine/screens.h"
#include "present/compose.h"
#include "present/fade.h"
#include "reader/aids.h"
#include "reader/read_out.h"
#include "reader/reader.h"
#include "reader/slots.h"
#include "reader/story_run.h"

namespace ks {
namespace {

// The reader's screens, offered each frame's intents in this order before
// the story's screen. A new one is a function here, with its state in
// ReaderState, its scene drawn into the frame's (or, over everything, by
// AddReaderOverlays), and Escape closing it in CloseReaderScreen.
using ReaderScreen = ScreenTurn (*)(EngineState&, Intents&, Scene&);
constexpr ReaderScreen kReaderScreens[] = {HiddenText, ReaderControls, HelpScreen, SlotsScreen, BacklogScreen};

}  // namespace

uint32_t TimeToNextFrame(const EngineState& state, uint32_t now) {
  const uint32_t since = now - state.screen.lastFrameTime;
  return since >= kFrameMs ? 0 : kFrameMs - since;
}

bool UpdateFrame(EngineState& state, Platform& platform) {
  const uint32_t now = platform.NowMs();
  if (now - state.screen.lastFrameTime < kFrameMs) return false;
  state.screen.lastFrameTime = now;

  // Fade frames darken the visible picture in place; nothing is composed.
  // While the reader skips, the fade completes at once.
  if (state.screen.fadeActive) {
    do {
      state.screen.fadeActive = uint32_t(FadeStep(state.display.primarySurface));
    } while (state.screen.fadeActive && SkipsFades(state));
    state.display.sceneShown = state.display.settled = false;
    platform.Present(state.display.primarySurface);
    if (!state.screen.fadeActive) RunStory(state);
    return true;
  }

  // The frame's input, decided once, then offered to the owners of the
  // screens in turn: the reader's controls and screens, the aids, and the
  // story's screen last.
  Intents intents = ReadIntents(platform.TakeKeys(), state.display);
  Scene scene = BeginFrame(state.display);
  bool storyWaits = false;
  for (const ReaderScreen screen : kReaderScreens) {
    const ScreenTurn turn = screen(state, intents, scene);
    // A reader's screen takes each key once a press, and the key that
    // closes it does nothing else.
    if (turn != ScreenTurn::kNotUp) platform.SwallowHeldKeys();
    if (turn == ScreenTurn::kClosed) intents.DropStoryInput();
    if ((storyWaits = turn == ScreenTurn::kTookFrame)) break;
  }
  if (!storyWaits) {
    DriveAids(state, intents, now);
    const bool shown = HandleKeys(state, intents, scene);
    if (!shown) {
      AbandonFrame(state.display);
      state.display.settled = false;
      return true;
    }
    ReadOutFrame(state, scene);
    AddAidMarks(scene, state, now);
  }
  AddReaderOverlays(scene, state, now);
  AddPlaceMarks(scene, state, now);
  if (ComposeFrame(state, std::move(scene))) Flip(state, platform);
  return true;
}

bool NeedsFrame(const EngineState& state) {
  const ReaderState& reader = state.reader;
  return state.screen.fadeActive || !state.display.settled || reader.skipOn || reader.skippedLastFrame ||
         reader.autoOn || reader.autoMark || reader.volumeMark || reader.shotMark || PlaceMarksShowing(state) ||
         !reader.switchMark.empty();
}

void Flip(EngineState& state, Platform& platform) {
  std::swap(state.display.primarySurface, state.display.backBuffer);
  platform.Present(state.display.primarySurface);
}

}  // namespace ks

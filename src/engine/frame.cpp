#include "engine/frame.h"

#include <utility>

#include "engine/screens.h"
#include "present/compose.h"
#include "present/fade.h"
#include "reader/aids.h"
#include "reader/read_out.h"
#include "reader/reader.h"
#include "reader/story_run.h"

namespace ks {

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

  FrameKeys keys = platform.TakeKeys();
  TakeReaderInput(state, keys, now);
  Scene scene = BeginFrame(state.display);
  if (!BacklogFrame(state, keys, scene)) {
    DriveAids(state, keys, now);
    const bool shown = HandleKeys(state, keys, scene);
    if (!shown) {
      AbandonFrame(state.display);
      state.display.settled = false;
      return true;
    }
    ReadOutFrame(state, scene);
    AddAidMarks(scene, state, now);
  }
  AddReaderOverlays(scene, state, now);
  if (ComposeFrame(state, std::move(scene))) Flip(state, platform);
  return true;
}

bool NeedsFrame(const EngineState& state) {
  const ReaderState& reader = state.reader;
  return state.screen.fadeActive || !state.display.settled || reader.skipOn || reader.skippedLastFrame ||
         reader.autoOn || reader.autoMark || reader.volumeMark || reader.shotMark || !reader.switchMark.empty();
}

void Flip(EngineState& state, Platform& platform) {
  std::swap(state.display.primarySurface, state.display.backBuffer);
  platform.Present(state.display.primarySurface);
}

}  // namespace ks

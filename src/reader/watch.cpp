#include "reader/watch.h"

#include <algorithm>
#include <cstring>

#include "engine/report.h"
#include "engine/screens.h"
#include "platform/story_path.h"
#include "present/background.h"
#include "save/save_file.h"
#include "script/label_index.h"
#include "script/script_file.h"
#include "sound/sound.h"

namespace ks {
namespace {

bool SameBytes(const std::vector<uint8_t>& a, uint32_t aAt, const std::vector<uint8_t>& b, uint32_t bAt, uint32_t n) {
  return aAt + uint64_t(n) <= a.size() && bAt + uint64_t(n) <= b.size() &&
         std::equal(a.begin() + aAt, a.begin() + aAt + n, b.begin() + bAt);
}

// Where the run that started at `pos` of the old script starts in the new
// one. `label` is set to the label it falls back on (-1: the start) when the
// place is gone.
uint32_t MapPosition(const ScriptState& old, const ScriptState& fresh, uint32_t pos, int* label) {
  *label = -2;
  if (SameBytes(old.scriptBuffer, 0, fresh.scriptBuffer, 0, pos)) return pos;  // edited after it
  int best = -1;
  for (int n = 0; n < kLabelCount; ++n) {
    const uint32_t at = old.labelTable[size_t(n)];
    if (at != 0 && at <= pos && (best < 0 || at > old.labelTable[size_t(best)])) best = n;
  }
  if (best >= 0 && fresh.labelTable[size_t(best)] != 0) {
    const uint32_t from = old.labelTable[size_t(best)], to = fresh.labelTable[size_t(best)];
    if (SameBytes(old.scriptBuffer, from, fresh.scriptBuffer, to, pos - from)) return to + (pos - from);
    *label = best;
    return to;
  }
  *label = -1;
  return 0;
}

}  // namespace

bool ReloadStory(EngineState& state, const std::vector<std::string>& changed) {
  auto names = [&](const char* file) { return FindStoryFile(state.storyRoot, file).relative; };
  const std::string script = names(kScriptFileName), save = names(kSaveFileName);
  const std::string picture = names(state.assets.backgroundFile), music = names(state.assets.bgmFile);
  bool any = false, scriptChanged = false, pictureChanged = false, musicChanged = false;
  for (const std::string& name : changed) {
    if (name.rfind(save, 0) == 0) continue;  // our own saves
    any = true;
    scriptChanged = scriptChanged || name == script;
    pictureChanged = pictureChanged || (!picture.empty() && name == picture);
    musicChanged = musicChanged || (!music.empty() && name == music);
  }
  if (!any) return false;

  uint32_t start = state.reader.runStart;
  if (scriptChanged) {
    EngineState fresh;
    fresh.storyRoot = state.storyRoot;
    std::string error;
    if (!LoadScript(fresh, &error)) {
      Report(error + "; the story goes on with the script as it was");
      return false;
    }
    BuildLabelIndex(fresh);
    int label = -2;
    start = MapPosition(state.script, fresh.script, start, &label);
    if (label >= -1) {
      Report("the edited script no longer holds the page's start; playing from " +
             (label < 0 ? std::string("the script's start") : "label " + std::to_string(label)));
    }
    state.script.scriptBuffer = std::move(fresh.script.scriptBuffer);
    state.script.scriptSize = fresh.script.scriptSize;
    state.script.labelTable = fresh.script.labelTable;
  }
  if (pictureChanged) LoadBackground(state, state.display.backgroundSurface, state.assets.backgroundFile);
  if (musicChanged) PlayBgm(state, state.assets.bgmFile);

  // The page again, from where it started and as the page was then.
  std::memcpy(state.page.pageText, state.reader.runPageText, kPageBytes);
  state.page.pageLength = state.reader.runPageLength;
  ScreenState& screen = state.screen;
  screen.uiMode = kUiPage;
  screen.cursor = 0;
  screen.fadeActive = screen.titleNotice = screen.savedNotice = screen.loadedNotice = screen.saveFailedNotice = 0;
  state.script.scriptPos = std::min(start, state.script.scriptSize);
  RunStory(state);
  state.display.sceneShown = state.display.settled = false;
  return true;
}

}  // namespace ks

#include "reader/watch.h"

#include <algorithm>
#include <cstring>

#include "core/report.h"
#include "core/sjis.h"
#include "core/story_path.h"
#include "reader/aids.h"
#include "reader/story_run.h"
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
// place is gone: the nearest label before it that the edited script still has.
uint32_t MapPosition(const ScriptState& old, const ScriptState& fresh, uint32_t pos, int* label) {
  *label = -2;
  if (SameBytes(old.scriptBuffer, 0, fresh.scriptBuffer, 0, pos)) return pos;  // edited after it
  std::vector<int> before;  // the labels at or before it, nearest first
  for (int n = 0; n < kLabelCount; ++n) {
    const uint32_t at = old.labelTable[size_t(n)];
    if (at != 0 && at <= pos) before.push_back(n);
  }
  std::stable_sort(before.begin(), before.end(),
                   [&](int a, int b) { return old.labelTable[size_t(a)] > old.labelTable[size_t(b)]; });
  if (!before.empty() && fresh.labelTable[size_t(before[0])] != 0) {
    const uint32_t from = old.labelTable[size_t(before[0])], to = fresh.labelTable[size_t(before[0])];
    if (SameBytes(old.scriptBuffer, from, fresh.scriptBuffer, to, pos - from)) return to + (pos - from);
  }
  for (const int n : before) {
    if (fresh.labelTable[size_t(n)] == 0) continue;
    *label = n;
    return fresh.labelTable[size_t(n)];
  }
  *label = -1;
  return 0;
}

// An editor that saves in steps leaves the file empty, or cut anywhere, for
// a moment: such a script is not played.
std::string MidEdit(const std::vector<uint8_t>& script) {
  if (script.empty()) return "is empty";
  size_t at = 0;
  while (at < script.size()) at += IsSjisLeadByte(script[at]) ? 2 : 1;
  return at > script.size() ? "ends inside a double-byte character" : "";
}

// What the screen shows after the run: the page's first characters, in UTF-8.
std::string Shown(const EngineState& state) {
  if (!OnPage(state.screen)) return "a choice list";
  std::string text(state.page.pageText, strnlen(state.page.pageText, kPageBytes));
  size_t cut = 0;
  while (cut < text.size() && cut < 40) cut += IsSjisLeadByte(uint8_t(text[cut])) ? 2 : 1;
  text = text.substr(0, std::min(cut, text.size()));
  for (char& c : text) c = (c == '\r' || c == '\n') ? ' ' : c;
  std::string utf8;
  if (!Cp932ToUtf8(text, &utf8)) return "the page";
  return "the page 「" + utf8 + (cut < strnlen(state.page.pageText, kPageBytes) ? "…」" : "」");
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
  int gone = -2;  // the label play restarts from when the page's start is gone; -1: the script's start
  if (scriptChanged) {
    EngineState fresh;
    fresh.storyRoot = state.storyRoot;
    std::string error;
    if (!LoadScript(fresh, &error)) {
      Report(error + "; the story goes on with the script as it was");
      return false;
    }
    if (const std::string why = MidEdit(fresh.script.scriptBuffer); !why.empty()) {
      Report("the script " + script + " " + why + ", as while an editor saves it; the story goes on with the script "
             "as it was");
      return false;
    }
    BuildLabelIndex(fresh);
    start = MapPosition(state.script, fresh.script, start, &gone);
    state.script.scriptBuffer = std::move(fresh.script.scriptBuffer);
    state.script.scriptSize = fresh.script.scriptSize;
    state.script.labelTable = fresh.script.labelTable;
    // The marks follow the script: the edited one is another story to them.
    if (state.reader.keepReadMarks) {
      state.reader.readMarksFile = ReadMarksFile(state.script);
      state.reader.readRuns.clear();
      state.reader.readRunsChanged = false;
      std::string problem;
      LoadReadMarks(state, &problem);
      if (!problem.empty()) Report(problem);
    }
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
  if (gone >= -1) {
    Report("the page on the screen is gone from the edited script; playing from " +
           (gone < 0 ? std::string("the script's start") : "label " + std::to_string(gone)) + ", which shows " +
           Shown(state));
  }
  return true;
}

}  // namespace ks

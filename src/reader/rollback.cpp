#include "reader/rollback.h"

#include <algorithm>
#include <cstring>

#include "present/background.h"
#include "reader/aids.h"
#include "save/save_file.h"
#include "sound/sound.h"

namespace ks {
namespace {

static_assert(sizeof(Snapshot) * kBacklogPages < (size_t{2} << 20), "going back must stay under 2 MB");

Snapshot Take(const EngineState& state) {
  Snapshot s;
  s.scriptPos = state.script.scriptPos;
  s.page = state.page;
  s.choices = state.choices;
  s.assets = state.assets;
  s.uiMode = state.screen.uiMode;
  s.cursor = state.screen.cursor;
  s.runStart = state.reader.runStart;
  std::memcpy(s.runPageText, state.reader.runPageText, kPageBytes);
  s.runPageLength = state.reader.runPageLength;
  return s;
}

void KeepPageRecord(EngineState& state) {
  const SaveRecord record = MakeSaveRecord(state);
  static_assert(sizeof record == sizeof state.reader.place.lastPage);
  std::memcpy(state.reader.place.lastPage, &record, sizeof record);
  state.reader.place.haveLastPage = true;
}

}  // namespace

void NoteStop(EngineState& state) {
  PlaceState& place = state.reader.place;
  place.storyEnded = state.screen.quitRequested != 0;
  const bool page = OnPage(state.screen) && !state.screen.fadeActive && !state.screen.titleNotice;
  if (page) KeepPageRecord(state);
  // A fade or the title notice is not put back: their pages have no snapshot.
  if ((!page && ChoiceCount(state.screen) == 0) || place.backlogPushed == 0) return;
  Snapshot snapshot = Take(state);
  snapshot.serial = place.backlogPushed - 1;
  if (!place.snapshots.empty() && place.snapshots.back().serial == snapshot.serial) {
    place.snapshots.back() = snapshot;
  } else {
    place.snapshots.push_back(snapshot);
  }
  const uint64_t oldest = place.backlogPushed - state.reader.backlog.size();
  while (!place.snapshots.empty() && place.snapshots.front().serial < oldest) place.snapshots.pop_front();
}

bool GoBack(EngineState& state, size_t index) {
  ReaderState& reader = state.reader;
  PlaceState& place = reader.place;
  if (index >= reader.backlog.size()) return false;
  const uint64_t serial = place.backlogPushed - reader.backlog.size() + index;
  const auto it = std::find_if(place.snapshots.begin(), place.snapshots.end(),
                               [&](const Snapshot& s) { return s.serial == serial; });
  if (it == place.snapshots.end()) return false;
  const Snapshot s = *it;
  place.snapshots.erase(std::next(it), place.snapshots.end());
  reader.backlog.resize(index + 1);
  place.backlogPushed = serial + 1;

  state.script.scriptPos = s.scriptPos;
  state.page = s.page;
  state.choices = s.choices;
  state.assets = s.assets;
  ScreenState& screen = state.screen;
  screen.uiMode = s.uiMode;
  screen.cursor = s.cursor;
  screen.fadeActive = screen.titleNotice = screen.savedNotice = screen.loadedNotice = screen.saveFailedNotice = 0;
  reader.runStart = s.runStart;
  std::memcpy(reader.runPageText, s.runPageText, kPageBytes);
  reader.runPageLength = s.runPageLength;

  if (state.assets.backgroundFile[0] == '\0') {
    // No picture asked for yet: the black the story started on.
    std::fill(state.display.backgroundSurface.pixels.begin(), state.display.backgroundSurface.pixels.end(), 0u);
    ++state.display.backgroundGeneration;
  } else {
    LoadBackground(state, state.display.backgroundSurface, state.assets.backgroundFile);
  }
  PlayBgm(state, state.assets.bgmFile);  // the page's music, from its start
  StopLoopSe(state);
  StopOneShotSe(state);
  reader.skipOn = reader.autoOn = false;
  reader.pageWasRead = true;
  reader.pageShownAt = screen.lastFrameTime;
  if (OnPage(screen)) KeepPageRecord(state);
  return true;
}

}  // namespace ks

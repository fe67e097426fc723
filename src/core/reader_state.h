// The reader's part of the engine's record.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>

#include "core/limits.h"
#include "core/place_state.h"
#include "core/settings.h"

namespace ks {

struct ReaderState {
  Settings settings;
  bool settingsChanged = false;  // to be written by the player
  bool helpShown = false;
  uint32_t volumeMarkUntil = 0, shotMarkUntil = 0;  // times on the frame clock
  bool volumeMark = false, shotMark = false;
  std::string picturesFolder;  // where screenshots go; empty: the XDG pictures folder

  // The backlog: the pages seen in this run, oldest first, at most 200 of
  // at most 999 bytes; the one on the screen counted from the newest (0),
  // or -1 when it is closed.
  std::deque<std::string> backlog;
  int backlogShown = -1;

  // Read marks: each run of the script the reader has seen end on a page,
  // by where it started and where it stopped. Kept per story in
  // `readMarksFile` (empty: not kept).
  std::set<std::pair<uint32_t, uint32_t>> readRuns;
  bool readRunsChanged = false;
  bool keepReadMarks = false;  // the player keeps them; the replay tool does not
  std::string readMarksFile;
  bool pageWasRead = false;  // the page on the screen had been read before

  // Skip: held with Ctrl, or left on with Tab (skipAll: unread pages too).
  bool skipOn = false, skipAll = false, skipAllAlways = false;
  bool skippedLastFrame = false;
  // Auto mode, and when the page on the screen first showed.
  bool autoOn = false;
  uint32_t pageShownAt = 0;
  uint32_t autoMarkUntil = 0;
  bool autoMark = false;

  // The last run of the script: where it started and the page as it was
  // then, so that watch mode can run it again over an edited script.
  uint32_t runStart = 0;
  char runPageText[kPageBytes] = {};
  uint32_t runPageLength = 0;

  PlaceState place;  // slots, the place kept on quit, going back
};

}  // namespace ks

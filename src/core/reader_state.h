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
#include "core/speech.h"

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

  // Reading out: where the voice and the clipboard are (none: not here),
  // the runs of the script so far, and what was last read out of them.
  Speech* speech = nullptr;
  Clipboard* clipboard = nullptr;
  bool speechReady = false, speechTold = false;  // started; told the reader it cannot be
  uint64_t runs = 0;
  uint64_t pageReadAt = 0, pageClippedAt = 0, choicesReadAt = 0;  // `runs` when done; 0: not yet
  std::string pageRead;                        // the page's bytes as last read out
  int menuRowRead = -1;                        // the menu's row last spoken; -1: not in the menu
  bool noticeRead = false;
  // A switch's mark ("SPEECH ON"), shown until a time on the frame clock.
  std::string switchMark;
  uint32_t switchMarkUntil = 0;
  // The story's text is hidden to show the picture alone.
  bool textHidden = false;

  // The last run of the script: where it started and the page as it was
  // then, so that watch mode can run it again over an edited script.
  uint32_t runStart = 0;
  char runPageText[kPageBytes] = {};
  uint32_t runPageLength = 0;

  PlaceState place;  // slots, the place kept on quit, going back
};

}  // namespace ks

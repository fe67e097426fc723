// The reader's place: the save slots, the page kept on quit, the marks of
// quick save and continue, and the snapshots that going back returns to.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/limits.h"
#include "core/story_parts.h"
#include "core/surface.h"

namespace ks {

// The story as it stood at one stop (a page or a choice list): all a run of
// the script reads, and what the screen shows of it.
struct Snapshot {
  uint64_t serial = 0;  // the backlog page it belongs to (see PlaceState)
  uint32_t scriptPos = 0;
  PageState page;
  ChoiceState choices;
  AssetState assets;
  int32_t uiMode = 0, cursor = 0;
  uint32_t runStart = 0;  // the run that stopped here, for watch mode
  char runPageText[kPageBytes] = {};
  uint32_t runPageLength = 0;
};

// What one slot holds, as the slots screen shows it.
struct SlotView {
  bool used = false;
  std::string when;       // "05-01 21:30"
  std::string firstLine;  // the page's first line, code page 932
  std::shared_ptr<const Surface> thumbnail;  // 160 x 120, or none
};

struct PlaceState {
  std::string slotsFolder;  // where this story's slots are kept; "": not kept

  // Every backlog page ever added has a serial number: the page at index i of
  // the backlog is number backlogPushed - backlog.size() + i. The snapshots,
  // oldest first, one per backlog page at most: the last stop made while it
  // was the newest page.
  uint64_t backlogPushed = 0;
  std::deque<Snapshot> snapshots;

  // The save record of the last page shown, for the Auto slot.
  uint8_t lastPage[1068] = {};
  bool haveLastPage = false;
  bool storyEnded = false;  // the story quit by itself: the Auto slot is left alone

  // The slots screen: 0 closed, else kSaveSlots or kLoadSlots.
  int slotsShown = 0;
  int slotCursor = 0;
  bool confirming = false;  // saving over a used slot asks once
  Surface screenAtOpen;     // the picture behind the screen, for the thumbnail
  std::vector<SlotView> slots;

  bool quickMark = false, continueMark = false;
  uint32_t quickMarkUntil = 0, continueMarkUntil = 0;
};

}  // namespace ks

// What the reader means in one frame, decided once from the frame's keys and
// the mouse (engine/intents.cpp), then handed to the owner of the screen that
// is up: the reader's screens first, then the story's (engine/frame.cpp).
//
// The story's keys are held intents, present in every frame their key is
// down: when a held key acts is the story's own rule (its latches). Every
// other intent comes once per press, as the key tracker tells presses. A
// row is the row of the list that was drawn under the pointer, so a click
// can never take a row the screen does not show there.
//
// A new intent: add it here (a reader's key: to ReaderKey in the same place,
// and to the platform's key table), then let its owner read it.
#pragma once

#include <cstdint>

#include "core/platform.h"
#include "core/scene.h"

namespace ks {

enum class Intent : uint8_t {
  // The story's keys, held.
  kAdvance,   // Enter
  kMenu,      // Space
  kUp,
  kDown,
  kSkipHeld,  // Ctrl: skipping goes on while it is held
  // The mouse, once a press (a wheel notch is a press of its own).
  kClick,       // the left button went down
  kTakeRow,     // ... on a row of the list drawn (`row`)
  kPointAtRow,  // the pointer moved onto a row of the list drawn (`row`)
  kCancel,      // the right button went down
  kButtonHeld,  // a button is down, held or just pressed
  kWheelOlder,  // the wheel turned up
  kWheelNewer,  // the wheel turned down
  // What a reader's aid means: the page turns, as Enter would, latch or not.
  kTurnPage,
  // The reader's keys, once a press, in ReaderKey's order.
  kVolumeDown, kVolumeUp, kMute, kScreenshot, kHelp,
  kBacklogOlder, kBacklogNewer, kBacklogClose, kSkip, kSkipAll, kAuto, kAutoSlower, kAutoFaster,
  kQuickSave, kQuickLoad, kSaveSlots, kLoadSlots, kSpeech, kClipboard, kBackdrop, kHideText,
  kOther,  // any other key
};
inline constexpr unsigned kFirstReaderIntent = unsigned(Intent::kVolumeDown);
static_assert(unsigned(Intent::kOther) - kFirstReaderIntent == unsigned(ReaderKey::kOther), "one intent a reader's key");
static_assert(unsigned(Intent::kOther) < 64, "intents are bits of one word");

inline constexpr uint64_t IntentBit(Intent intent) { return uint64_t(1) << unsigned(intent); }

struct Intents {
  uint64_t bits = 0;
  RowBox row;  // for kTakeRow and kPointAtRow

  bool Has(Intent intent) const { return bits & IntentBit(intent); }
  void Add(Intent intent) { bits |= IntentBit(intent); }
  // Whether a row of `list` is taken, or pointed at.
  bool TakesRow(RowList list) const { return Has(Intent::kTakeRow) && row.list == list; }
  bool PointsAtRow(RowList list) const { return Has(Intent::kPointAtRow) && row.list == list; }
  // Any key, button or wheel notch but Ctrl, and any of the reader's keys
  // but those in `except` (IntentBit()s): what ends the help and auto mode.
  bool AnyInput(uint64_t except = 0) const {
    constexpr uint64_t kNotInput = IntentBit(Intent::kSkipHeld) | IntentBit(Intent::kPointAtRow) | IntentBit(Intent::kTurnPage);
    return (bits & ~kNotInput & ~except) != 0;
  }
  // Drops the story's keys and the mouse, keeping the reader's keys.
  void DropStoryInput() { bits &= ~(IntentBit(Intent::kTurnPage) - 1) | IntentBit(Intent::kSkipHeld); }
};

}  // namespace ks

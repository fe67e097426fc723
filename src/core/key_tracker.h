// Turns key transitions, as they arrive from the window system, into one
// snapshot a frame without losing a press. Each key keeps the level the last
// snapshot reported and the transitions since then, and a snapshot takes at
// most one of them: a tap between two frames shows as down in the next frame
// and as up in the one after, and a key released and pressed again shows up,
// then down. So every press acts once, in order, exactly as a key held
// through whole frames would. The reader's keys have no level: each press
// shows in a frame of its own. Up to 16 presses of one key wait their turn;
// a hand faster than that for longer than frames come loses the rest.
//
// It is the one place that tells a press from a hold: a snapshot marks the
// keys that went down since the one before (FrameKeys::wentDown), and keys
// can be swallowed, reading as up until they are released.
#pragma once

#include <cstdint>

#include "core/platform.h"

namespace ks {

class KeyTracker {
 public:
  static constexpr int kMaxPresses = 16;  // waiting presses of one key

  // The key went down (true) or up; a repeat of the current state is ignored.
  void Set(Key key, bool down);
  // A press of one of the reader's keys.
  void Press(ReaderKey key);
  // The keys for this frame; what they report is consumed.
  FrameKeys Take();
  // The keys the last snapshot reported down read as up from the next one
  // on, until a snapshot sees them up.
  void Swallow();
  // Whether `key` is physically down now.
  bool IsDown(Key key) const;
  // Whether a change waits for the next snapshot.
  bool HasPending() const;

 private:
  struct Track {
    bool level = false;    // as last reported
    uint8_t pending = 0;   // transitions since, alternating from `level`
    bool swallowed = false;  // reads as up until `level` goes up
  };
  static constexpr uint8_t kMaxPending = 2 * kMaxPresses;
  static constexpr unsigned kReaderKeys = 32;  // bits of FrameKeys::readerKeys
  Track tracks_[kKeyCount];
  uint8_t presses_[kReaderKeys] = {};  // by ReaderKey: presses not yet taken
};

}  // namespace ks

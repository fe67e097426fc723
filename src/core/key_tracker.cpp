#include "core/key_tracker.h"

namespace ks {

bool KeyTracker::IsDown(Key key) const {
  const Track& t = tracks_[int(key)];
  return t.level != (t.pending % 2 == 1);
}

void KeyTracker::Set(Key key, bool down) {
  if (IsDown(key) == down) return;
  Track& t = tracks_[int(key)];
  // Faster than any hand: the newest change undoes the last one waiting.
  if (t.pending == kMaxPending) {
    --t.pending;
    return;
  }
  ++t.pending;
}

void KeyTracker::Press(ReaderKey key) {
  if (unsigned(key) >= kReaderKeys) return;
  uint8_t& presses = presses_[unsigned(key)];
  if (presses < kMaxPresses) ++presses;
}

bool KeyTracker::HasPending() const {
  for (const Track& t : tracks_) {
    if (t.pending > 0) return true;
  }
  for (const uint8_t n : presses_) {
    if (n > 0) return true;
  }
  return false;
}

FrameKeys KeyTracker::Take() {
  FrameKeys keys;
  for (int k = 0; k < kKeyCount; ++k) {
    Track& t = tracks_[k];
    if (t.pending > 0) {
      t.level = !t.level;
      --t.pending;
    }
    keys[Key(k)] = t.level;
  }
  for (unsigned k = 0; k < kReaderKeys; ++k) {
    if (presses_[k] > 0) {
      --presses_[k];
      keys.readerKeys |= 1u << k;
    }
  }
  return keys;
}

}  // namespace ks

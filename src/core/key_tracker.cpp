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

void KeyTracker::Swallow() {
  // Ctrl is not a press: skipping goes on while it is held.
  for (int k = 0; k < kKeyCount; ++k) tracks_[k].swallowed = tracks_[k].level && Key(k) != Key::kCtrl;
}

FrameKeys KeyTracker::Take() {
  FrameKeys keys;
  for (int k = 0; k < kKeyCount; ++k) {
    Track& t = tracks_[k];
    const bool was = t.level;
    if (t.pending > 0) {
      t.level = !t.level;
      --t.pending;
    }
    t.swallowed = t.swallowed && t.level;
    keys[Key(k)] = t.level && !t.swallowed;
    if (keys[Key(k)] && !was) keys.wentDown |= uint16_t(1u << k);
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

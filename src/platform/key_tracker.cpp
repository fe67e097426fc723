#include "platform/key_tracker.h"

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

bool KeyTracker::HasPending() const {
  for (const Track& t : tracks_) {
    if (t.pending > 0) return true;
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
  return keys;
}

}  // namespace ks

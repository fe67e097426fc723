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

FrameKeys KeyTracker::Take() {
  FrameKeys keys;
  for (int k = 0; k < kKeyCount; ++k) {
    Track& t = tracks_[k];
    bool report = t.level;
    if (t.pending > 0 && !t.level) {
      // A press, and the release after it if there is one: down this frame.
      report = true;
      const uint8_t used = t.pending >= 2 ? 2 : 1;
      t.pending = uint8_t(t.pending - used);
      t.level = used == 1;
    } else if (t.pending > 0) {
      report = false;  // a release; a later press waits for the next frame
      --t.pending;
      t.level = false;
    }
    keys.Set(Key(k), report);
  }
  return keys;
}

}  // namespace ks

// The platform seam: everything the core needs from the outside world. The
// SDL player (platform/sdl) and the headless platform of the tests and the
// replay tool (platform/headless) fill in the same calls.
#pragma once

#include <cstdint>

#include "platform/audio_device.h"
#include "present/surface.h"

namespace ks {

// The four keys a story is driven by. Escape is not one: it arrives as a
// quit message.
enum class Key { kEnter, kSpace, kUp, kDown };
inline constexpr int kKeyCount = 4;

// The keys as one processed frame sees them: a key is down when it is held
// now or went down since the last snapshot, so a tap shorter than a frame
// acts exactly as a press held through the frame would.
struct FrameKeys {
  bool enter = false, space = false, up = false, down = false;

  bool Down(Key key) const {
    switch (key) {
      case Key::kEnter: return enter;
      case Key::kSpace: return space;
      case Key::kUp: return up;
      case Key::kDown: return down;
    }
    return false;
  }
  void Set(Key key, bool isDown) {
    switch (key) {
      case Key::kEnter: enter = isDown; break;
      case Key::kSpace: space = isDown; break;
      case Key::kUp: up = isDown; break;
      case Key::kDown: down = isDown; break;
    }
  }
  bool Any() const { return enter || space || up || down; }
  bool operator==(const FrameKeys&) const = default;
};

struct Message {
  enum class Kind { kQuit, kPlayback };
  Kind kind = Kind::kQuit;
  PlaybackNotice playback;  // for kPlayback
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Milliseconds on a clock that only moves forward (it may wrap at 2^32).
  virtual uint32_t NowMs() = 0;
  // The keys for the frame being processed; taken once per frame that reads
  // keys (a fade frame reads none, so a press waits for the frame after).
  virtual FrameKeys TakeKeys() = 0;
  // Takes the oldest waiting message. Returns false when none waits.
  virtual bool TakeMessage(Message* message) = 0;
  // Returns when a message is waiting or `ms` milliseconds have passed.
  virtual void WaitForMessage(uint32_t ms) = 0;
  virtual AudioDevice& Audio() = 0;
  // Shows `surface` (the primary surface) on the screen.
  virtual void Present(const Surface& surface) = 0;
  // Told after every processed frame.
  virtual void FrameProcessed() {}
};

}  // namespace ks

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
  // Whether `key` is held down at this moment.
  virtual bool IsKeyDown(Key key) = 0;
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

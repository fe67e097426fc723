// The platform seam: everything the core needs from the outside world. The
// SDL player (platform/sdl) and the headless platform of the tests and the
// replay tool (platform/headless) fill in the same calls.
#pragma once

#include <cstdint>

#include "core/audio_device.h"
#include "core/surface.h"

namespace ks {

// The keys a story is driven by, and the mouse buttons and wheel, which act
// as those keys do; Ctrl is held to skip. Escape is not one: it arrives as a
// message.
enum class Key : uint8_t { kEnter, kSpace, kUp, kDown, kLeftButton, kRightButton, kWheelDown, kWheelUp, kCtrl };
inline constexpr int kKeyCount = 9;

// The reader's own keys: each acts once per press.
enum class ReaderKey : uint8_t {
  kVolumeDown, kVolumeUp, kMute, kScreenshot, kHelp,
  kBacklogOlder, kBacklogNewer, kBacklogClose, kSkip, kSkipAll, kAuto, kAutoSlower, kAutoFaster,
  kQuickSave, kQuickLoad, kSaveSlots, kLoadSlots,
  kSpeech, kClipboard, kBackdrop, kHideText,
  kOther,  // any other key: closes the help and stops auto mode
};

// The input of one processed frame. A key is down when it is held now or went
// down since the last snapshot, so a tap shorter than a frame acts exactly as
// a press held through the frame would; a wheel notch is a tap of its own.
struct FrameKeys {
  bool enter = false, space = false, up = false, down = false;
  bool leftButton = false, rightButton = false, wheelDown = false, wheelUp = false, ctrl = false;
  uint32_t readerKeys = 0;  // ReaderKey bits pressed since the last snapshot
  uint16_t wentDown = 0;    // Key bits down now and up in the last snapshot: a press
  // Where the pointer is, in the picture's own 640 x 480 pixels whatever the
  // window's size (-1 off the picture), and whether it moved.
  int pointerX = -1, pointerY = -1;
  bool pointerMoved = false;

  bool& operator[](Key key) {
    bool* levels[kKeyCount] = {&enter, &space, &up, &down, &leftButton, &rightButton, &wheelDown, &wheelUp, &ctrl};
    return *levels[int(key)];
  }
  bool Pressed(ReaderKey key) const { return readerKeys & (1u << unsigned(key)); }
  bool WentDown(Key key) const { return wentDown & (1u << unsigned(key)); }
  void Press(ReaderKey key) { readerKeys |= 1u << unsigned(key); }
  bool AnyStoryKey() const { return enter || space || up || down; }
  // Any key, button or wheel notch but Ctrl, and any reader key but those in
  // `except` (ReaderKey bits).
  bool AnyInput(uint32_t except = 0) const {
    return AnyStoryKey() || leftButton || rightButton || wheelDown || wheelUp || (readerKeys & ~except) != 0;
  }
  bool operator==(const FrameKeys&) const = default;
};

// Escape is a message of its own: it quits, unless a reader's screen (the
// backlog, the help) is open, which it closes. Closing the window quits.
struct Message {
  enum class Kind { kQuit, kEscape, kPlayback };
  Kind kind = Kind::kQuit;
  PlaybackNotice playback;  // for kPlayback
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Takes in what came from the outside (keys, the mouse, the window,
  // sounds): the main loop calls it once, first thing in every step, and
  // TakeMessage, InputWaiting and TakeKeys only read what it took in.
  virtual void Poll() {}
  // Milliseconds on a clock that only moves forward (it may wrap at 2^32).
  virtual uint32_t NowMs() = 0;
  // The keys for the frame being processed; taken once per frame that reads
  // keys (a fade frame reads none, so a press waits for the frame after).
  virtual FrameKeys TakeKeys() = 0;
  // The story's keys and the buttons down now read as up until released:
  // the press that closed a reader's screen does nothing else.
  virtual void SwallowHeldKeys() = 0;
  // Takes the oldest waiting message. Returns false when none waits.
  virtual bool TakeMessage(Message* message) = 0;
  // Returns when a message is waiting or `ms` milliseconds have passed.
  virtual void WaitForMessage(uint32_t ms) = 0;
  // Whether a quit or Escape waits among the messages (which stay waiting).
  virtual bool QuitPending() { return false; }
  // Whether anything came from the outside (a key, the mouse, the window, a
  // sound) since the last processed frame. A platform that cannot tell says
  // yes, and gets a frame every 33 ms.
  virtual bool InputWaiting() { return true; }
  // Sleeps until something comes from the outside.
  virtual void WaitForInput() { WaitForMessage(33); }
  virtual AudioDevice& Audio() = 0;
  // Shows `surface` (the primary surface) on the screen.
  virtual void Present(const Surface& surface) = 0;
  // Told after every processed frame.
  virtual void FrameProcessed() {}
};

}  // namespace ks

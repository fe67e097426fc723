// The platform seam in a browser: the page's canvas shows the primary
// surface (its backing store is the picture's own 640 x 480; the page's style
// places it by whole multiples, else fitted, centred), the page's key, mouse,
// wheel and touch events arrive through the calls below, and sound plays
// through Web Audio. The browser drives the loop: each animation frame runs
// main loop steps until the core would wait, so the 33 ms gate between
// frames holds as it does on the desktop.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>

#include "core/key_tracker.h"
#include "core/platform.h"
#include "core/speech.h"
#include "platform/headless/headless_platform.h"

namespace ks {

// Copies `surface` into the page's canvas.
void PresentToCanvas(const Surface& surface);

// Sounds decoded and played by the page's Web Audio context. A file the
// browser cannot decode (MIDI) opens and stays silent, and never ends.
class WebAudio : public AudioDevice {
 public:
  explicit WebAudio(std::deque<Message>& messages) : messages_(messages) {}
  DeviceId Open(AudioChannel channel, const std::string& path) override;
  void Play(DeviceId device, bool notify) override;
  void Stop(DeviceId device) override;
  void Close(DeviceId device) override;
  bool IsPlaying(DeviceId device) const override { return playing_.count(device) > 0; }
  void SetVolume(int percent) override;
  // The page says a sound stopped by itself; a notice follows when asked for.
  void Ended(DeviceId device);

 private:
  std::deque<Message>& messages_;
  DeviceId next_ = 1;
  std::set<DeviceId> open_, playing_, notify_;
};

// The browser's own voice (speechSynthesis, in Japanese when the browser
// has a Japanese voice) and the page's clipboard.
class WebSpeech : public Speech {
 public:
  bool Start(std::string* why) override;
  void Say(const std::string& utf8) override;
  void Stop() override;
};

class WebPlatform : public Platform, public Clipboard {
 public:
  uint32_t NowMs() override;
  FrameKeys TakeKeys() override;
  void SwallowHeldKeys() override { keys_.Swallow(); }
  bool TakeMessage(Message* message) override;
  // The browser cannot be kept waiting: the animation frame ends, and the
  // next one comes back.
  void WaitForMessage(uint32_t) override { frameDone_ = true; }
  void WaitForInput() override { frameDone_ = true; }
  bool QuitPending() override;
  bool InputWaiting() override { return inputSinceFrame_ || keys_.HasPending(); }
  AudioDevice& Audio() override { return audio_; }
  void Present(const Surface& surface) override { PresentToCanvas(surface); }
  void FrameProcessed() override { inputSinceFrame_ = false, frameDone_ = true; }
  void PutOnClipboard(const std::string& utf8) override;

  // Whether this animation frame's work is done: the core drew a frame or
  // would wait (cleared by the call).
  bool TakeFrameDone() { return std::exchange(frameDone_, false); }

  // The page's events. `code` is the DOM KeyboardEvent.code ("Enter",
  // "ArrowUp", "KeyA"); a repeat of a held key is no new press.
  void OnKey(const std::string& code, bool down, bool repeat, bool shift);
  // The pointer in the picture's own pixels (-1 off it); button 0 is the
  // left, 2 the right, -1 a move.
  void OnPointer(int x, int y, int button, bool down);
  // Notches of the wheel: positive away from the reader.
  void OnWheel(int notches);
  void OnSoundEnded(DeviceId device) { inputSinceFrame_ = true, audio_.Ended(device); }

 private:
  KeyTracker keys_;
  std::deque<Message> messages_;
  WebAudio audio_{messages_};
  int pointerX_ = -1, pointerY_ = -1;
  bool pointerMoved_ = false;
  bool inputSinceFrame_ = true;
  bool frameDone_ = false;
};

// The headless platform (virtual time, keys from a list, simulated sound)
// showing its frames in the canvas: the page plays the replay tool's keys
// frame for frame, so a test can hold the canvas against the replay's pictures.
class CanvasReplay : public HeadlessPlatform {
 public:
  using HeadlessPlatform::HeadlessPlatform;
  void Present(const Surface& surface) override {
    HeadlessPlatform::Present(surface);
    PresentToCanvas(surface);
  }
};

}  // namespace ks

// The real platform: an SDL2 window, the keyboard, SDL's event queue, and
// SDL_mixer for sound.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/key_tracker.h"
#include "platform/platform.h"
#include "platform/sdl/mixer_audio.h"

struct SDL_Window;
struct SDL_Surface;

namespace ks {

class SdlPlatform : public Platform {
 public:
  ~SdlPlatform() override;

  // Opens one top-most window titled "Direct X", full screen on the
  // desktop's own mode, pointer hidden, and the sound card (without one the
  // story plays silently). Returns false with a reason when there is no
  // display.
  bool Open(std::string* error);
  // Closes the sound card and the window; the desktop is as it was.
  void Close();

  uint32_t NowMs() override;
  FrameKeys TakeKeys() override;
  bool TakeMessage(Message* message) override;
  void WaitForMessage(uint32_t ms) override;
  AudioDevice& Audio() override { return audio_; }
  void Present(const Surface& surface) override;

 private:
  // Moves every waiting SDL event into the key tracker or the message queue.
  void DrainEvents();
  // Draws the last presented picture into the window, scaled and letterboxed.
  void Show();
  // Full screen on the desktop's own mode, or a 640 x 480 window.
  void SetFullScreen(bool on);

  SDL_Window* window_ = nullptr;
  SDL_Surface* frame_ = nullptr;     // wraps shown_
  std::vector<uint32_t> shown_;      // the picture on the screen
  bool stale_ = true;                // the window must be drawn again
  bool fullScreen_ = true;
  bool managed_ = true;  // a window manager looks after the window
  uint32_t noticeEvent_ = 0;
  KeyTracker keys_;
  std::deque<Message> messages_;
  MixerAudio audio_;
};

}  // namespace ks

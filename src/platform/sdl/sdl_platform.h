// The real platform: an SDL2 window, the keyboard, SDL's event queue, and
// SDL_mixer for sound.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "core/key_tracker.h"
#include "core/platform.h"
#include "core/speech.h"
#include "platform/sdl/mixer_audio.h"
#include "reader/settings.h"

struct SDL_Window;
struct SDL_Surface;
struct SDL_KeyboardEvent;
struct SDL_ControllerButtonEvent;
struct SDL_ControllerDeviceEvent;
struct _SDL_GameController;

namespace ks {

// Also the clipboard, which belongs to the window.
class SdlPlatform : public Platform, public Clipboard {
 public:
  ~SdlPlatform() override;

  // Call first, before any thread starts: sets the environment SDL reads
  // (a setenv beside another thread's getenv is a race), and sends the
  // player's own lines to a copy of stderr, which silencing SDL's start-up
  // for a moment leaves alone.
  static void PrepareProcess();

  // Opens one window titled "Kamishibai", full screen on the desktop's own mode
  // (and above other windows) or a window of its own, as `settings` say, the
  // pointer hidden, and the sound card (without one the story plays
  // silently). The window's mode, size and place go back into `settings` as
  // the reader changes them. Returns false with a reason when there is no
  // display.
  bool Open(Settings* settings, std::string* error);
  // Names the window (UTF-8), in the task bar and the window switcher.
  void SetTitle(const std::string& title);
  // Closes the window, then the sound card; the desktop is as it was.
  // `processEnding`: the card is only silenced, and SDL's sound left for the
  // process's end to let go (the process must then end with _exit, which
  // runs no library's clean-up while SDL's sound thread still turns).
  void Close(bool processEnding = false);
  // Whether the reader switched between full screen and a window since the
  // last call.
  bool TakeModeChanged();

  void Poll() override { DrainEvents(); }
  uint32_t NowMs() override;
  FrameKeys TakeKeys() override;
  void SwallowHeldKeys() override { keys_.Swallow(); }
  bool TakeMessage(Message* message) override;
  void WaitForMessage(uint32_t ms) override;
  bool QuitPending() override;
  bool InputWaiting() override;
  void WaitForInput() override;
  void FrameProcessed() override { inputSinceFrame_ = false; }
  // Wakes the wait for input whenever `fd` becomes readable (a file watch).
  void WakeWhenReadable(int fd);
  AudioDevice& Audio() override { return audio_; }
  void Present(const Surface& surface) override;
  void PutOnClipboard(const std::string& utf8) override;

 private:
  // Moves every waiting SDL event into the key tracker or the message queue.
  void DrainEvents();
  // Draws the last presented picture into the window, scaled and letterboxed.
  void Show();
  void ShowWindowOnce();
  // Full screen on the desktop's own mode, or the window the settings give.
  void SetFullScreen(bool on);
  void OnKey(const SDL_KeyboardEvent& event);
  // A gamepad's button, as the key it stands for; a gamepad plugged in or out.
  void OnPadButton(const SDL_ControllerButtonEvent& event);
  void OnPadPlugged(const SDL_ControllerDeviceEvent& event);
  void PointAt(int x, int y);
  void Pressed(ReaderKey key);
  void ShowPointer(bool on);

  SDL_Window* window_ = nullptr;
  const Surface* presented_ = nullptr;  // the picture on the screen
  bool shownOnce_ = false;             // the window shows (from the first picture on)
  bool fullScreen_ = false;
  bool managed_ = true;  // a window manager looks after the window
  uint32_t noticeEvent_ = 0;
  KeyTracker keys_;
  int pointerX_ = -1, pointerY_ = -1;
  bool pointerMoved_ = false;
  bool pointerShown_ = false;
  uint32_t pointerHideAt_ = 0;
  Settings* settings_ = nullptr;
  bool modeChanged_ = false;
  bool inputSinceFrame_ = true;
  uint32_t wakeEvent_ = 0;
  std::thread waker_;
  int wakeStop_[2] = {-1, -1};  // a pipe that ends the waker
  std::deque<Message> messages_;
  std::vector<_SDL_GameController*> pads_;  // open gamepads
  MixerAudio audio_;
};

}  // namespace ks

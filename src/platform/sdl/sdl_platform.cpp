// The picture is the core's 640 x 480 primary surface, blitted onto the
// window's own surface: at 1:1 where the screen is that size, at a whole
// multiple where the screen holds twice the picture or more, and otherwise
// scaled to fit, always centred on black. No GPU is needed, and the pixels
// are exactly the core's. A picture equal to the one on the screen is not
// sent again, so a page waiting for the reader costs next to nothing.
#include "platform/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "engine/limits.h"
#include "platform/sdl/quiet_stderr.h"

namespace ks {
namespace {

// The keyboard: the story's four keys, and the two the window handles.
enum class Action { kEnter, kSpace, kUp, kDown, kQuit, kFullScreen };
struct Binding {
  SDL_Scancode scancode;
  Action action;
};
constexpr Binding kKeyTable[] = {
    {SDL_SCANCODE_RETURN, Action::kEnter}, {SDL_SCANCODE_KP_ENTER, Action::kEnter},
    {SDL_SCANCODE_SPACE, Action::kSpace},  {SDL_SCANCODE_UP, Action::kUp},
    {SDL_SCANCODE_DOWN, Action::kDown},    {SDL_SCANCODE_ESCAPE, Action::kQuit},
    {SDL_SCANCODE_F11, Action::kFullScreen},
};

// Whether a window manager looks after the X display of `window` (it names
// its check window on the root window). Other video systems always have one.
bool WindowManagerRunning(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  Display* display = info.info.x11.display;
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                        &format, &items, &after, &data) == Success &&
                     type == XA_WINDOW && items == 1;
  if (data) XFree(data);
  return found;
}

// Where the picture goes in a window of `w` x `h`.
SDL_Rect Placement(int w, int h) {
  const double fit = std::min(double(w) / kScreenWidth, double(h) / kScreenHeight);
  const double scale = fit >= 2.0 ? double(int(fit)) : fit;
  const int pw = std::max(1, int(kScreenWidth * scale)), ph = std::max(1, int(kScreenHeight * scale));
  return {(w - pw) / 2, (h - ph) / 2, pw, ph};
}

}  // namespace

SdlPlatform::~SdlPlatform() { Close(); }

bool SdlPlatform::Open(std::string* error) {
  // The window surface is drawn by us; SDL would otherwise put it on an
  // OpenGL texture, loading a GPU driver (or, without one, all of LLVM) for it.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  int status = 0;
  {
    const QuietStderr quiet;
    status = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER);
  }
  if (status != 0) {
    if (error) *error = std::string("cannot open the display: ") + SDL_GetError();
    return false;
  }
  // Without a display SDL falls back to drawing nowhere, where nobody could
  // see the story or press a key to end it.
  const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
  if (driver.empty() || driver == "offscreen" || driver == "dummy") {
    if (error) *error = "cannot open the display: no X11 or Wayland display answers";
    Close();
    return false;
  }
  window_ = SDL_CreateWindow("Direct X", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kScreenWidth, kScreenHeight,
                             SDL_WINDOW_HIDDEN | SDL_WINDOW_ALWAYS_ON_TOP);
  shown_.assign(size_t(kScreenWidth) * kScreenHeight, 0);
  frame_ = window_ ? SDL_CreateRGBSurfaceWithFormatFrom(shown_.data(), kScreenWidth, kScreenHeight, 32,
                                                        kScreenWidth * 4, SDL_PIXELFORMAT_RGB888)
                   : nullptr;
  if (!window_ || !frame_) {
    if (error) *error = std::string("cannot open the display: ") + SDL_GetError();
    Close();
    return false;
  }
  managed_ = WindowManagerRunning(window_);
  SetFullScreen(true);
  SDL_ShowWindow(window_);
  SDL_ShowCursor(SDL_DISABLE);
  SDL_RaiseWindow(window_);
  SDL_SetWindowInputFocus(window_);
  Show();

  noticeEvent_ = SDL_RegisterEvents(1);
  audio_.OpenDevice(noticeEvent_);
  return true;
}

void SdlPlatform::Close() {
  audio_.CloseDevice();
  if (frame_) SDL_FreeSurface(frame_);
  frame_ = nullptr;
  if (window_) SDL_DestroyWindow(window_);
  window_ = nullptr;
  if (SDL_WasInit(0)) SDL_Quit();
}

// Milliseconds since the machine started, as the frame gate expects of its
// clock (so the first frame is not held back by a clock that starts at 0).
uint32_t SdlPlatform::NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint32_t(uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000);
}

FrameKeys SdlPlatform::TakeKeys() {
  DrainEvents();
  return keys_.Take();
}

bool SdlPlatform::TakeMessage(Message* message) {
  DrainEvents();
  if (messages_.empty()) return false;
  *message = messages_.front();
  messages_.pop_front();
  return true;
}

void SdlPlatform::DrainEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    if (event.type == noticeEvent_) {
      messages_.push_back(Message{Message::Kind::kPlayback, MixerAudio::NoticeOf(&event)});
      continue;
    }
    switch (event.type) {
      case SDL_QUIT: messages_.push_back(Message{Message::Kind::kQuit, {}}); break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const bool down = event.type == SDL_KEYDOWN;
        for (const Binding& binding : kKeyTable) {
          if (binding.scancode != event.key.keysym.scancode) continue;
          switch (binding.action) {
            case Action::kEnter: keys_.Set(Key::kEnter, down); break;
            case Action::kSpace: keys_.Set(Key::kSpace, down); break;
            case Action::kUp: keys_.Set(Key::kUp, down); break;
            case Action::kDown: keys_.Set(Key::kDown, down); break;
            case Action::kQuit:
              if (down) messages_.push_back(Message{Message::Kind::kQuit, {}});
              break;
            case Action::kFullScreen:
              if (down && !event.key.repeat) {
                SetFullScreen(!fullScreen_);
                Show();
              }
              break;
          }
        }
        break;
      }
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
            event.window.event == SDL_WINDOWEVENT_RESTORED) {
          stale_ = true;
          Show();
        }
        break;
      default: break;
    }
  }
}

void SdlPlatform::WaitForMessage(uint32_t ms) { SDL_WaitEventTimeout(nullptr, int(ms)); }

void SdlPlatform::Present(const Surface& surface) {
  const size_t bytes = shown_.size() * sizeof(uint32_t);
  if (!stale_ && std::memcmp(shown_.data(), surface.pixels.data(), bytes) == 0) return;
  std::memcpy(shown_.data(), surface.pixels.data(), bytes);
  Show();
}

void SdlPlatform::Show() {
  SDL_Surface* screen = SDL_GetWindowSurface(window_);
  if (!screen) return;
  const SDL_Rect place = Placement(screen->w, screen->h);
  if (place.w != screen->w || place.h != screen->h) SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
  SDL_Rect target = place;
  if (place.w == kScreenWidth && place.h == kScreenHeight) {
    SDL_BlitSurface(frame_, nullptr, screen, &target);
  } else {
    SDL_BlitScaled(frame_, nullptr, screen, &target);
  }
  SDL_UpdateWindowSurface(window_);
  stale_ = false;
}

void SdlPlatform::SetFullScreen(bool on) {
  fullScreen_ = on;
  if (managed_) {
    // The window manager does it; SDL waits a moment for it to answer.
    SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!on) SDL_SetWindowSize(window_, kScreenWidth, kScreenHeight);
  } else {
    // With no window manager there is nobody to ask (or to wait for): a
    // window without a border over the whole display is full screen.
    SDL_Rect bounds{0, 0, kScreenWidth, kScreenHeight};
    if (on) SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &bounds);
    SDL_SetWindowBordered(window_, on ? SDL_FALSE : SDL_TRUE);
    SDL_SetWindowSize(window_, bounds.w, bounds.h);
    SDL_SetWindowPosition(window_, on ? bounds.x : SDL_WINDOWPOS_CENTERED, on ? bounds.y : SDL_WINDOWPOS_CENTERED);
  }
  stale_ = true;
}

}  // namespace ks

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
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/limits.h"
#include "core/report.h"
#include "core/trace.h"
#include "platform/sdl/quiet_stderr.h"

namespace ks {
namespace {

// The keyboard, by the key's meaning (so "+" and "[" follow the layout):
// the story's keys and Ctrl are levels, the reader's keys act once a press,
// and Escape and the full-screen switch are the window's own.
enum class Kind { kLevel, kReader, kEscape, kFullScreen };
struct Binding {
  SDL_Keycode key;
  Kind kind;
  int what;  // a Key or a ReaderKey
};
constexpr Binding kKeyTable[] = {
    {SDLK_RETURN, Kind::kLevel, int(Key::kEnter)},        {SDLK_KP_ENTER, Kind::kLevel, int(Key::kEnter)},
    {SDLK_SPACE, Kind::kLevel, int(Key::kSpace)},         {SDLK_UP, Kind::kLevel, int(Key::kUp)},
    {SDLK_DOWN, Kind::kLevel, int(Key::kDown)},           {SDLK_LCTRL, Kind::kLevel, int(Key::kCtrl)},
    {SDLK_RCTRL, Kind::kLevel, int(Key::kCtrl)},          {SDLK_ESCAPE, Kind::kEscape, 0},
    {SDLK_F11, Kind::kFullScreen, 0},
    {SDLK_MINUS, Kind::kReader, int(ReaderKey::kVolumeDown)}, {SDLK_KP_MINUS, Kind::kReader, int(ReaderKey::kVolumeDown)},
    {SDLK_PLUS, Kind::kReader, int(ReaderKey::kVolumeUp)},    {SDLK_EQUALS, Kind::kReader, int(ReaderKey::kVolumeUp)},
    {SDLK_KP_PLUS, Kind::kReader, int(ReaderKey::kVolumeUp)}, {SDLK_0, Kind::kReader, int(ReaderKey::kMute)},
    {SDLK_KP_0, Kind::kReader, int(ReaderKey::kMute)},        {SDLK_F12, Kind::kReader, int(ReaderKey::kScreenshot)},
    {SDLK_PRINTSCREEN, Kind::kReader, int(ReaderKey::kScreenshot)}, {SDLK_F1, Kind::kReader, int(ReaderKey::kHelp)},
    {SDLK_PAGEUP, Kind::kReader, int(ReaderKey::kBacklogOlder)},
    {SDLK_PAGEDOWN, Kind::kReader, int(ReaderKey::kBacklogNewer)},
    {SDLK_BACKSPACE, Kind::kReader, int(ReaderKey::kBacklogClose)}, {SDLK_TAB, Kind::kReader, int(ReaderKey::kSkip)},
    {SDLK_a, Kind::kReader, int(ReaderKey::kAuto)},
    {SDLK_LEFTBRACKET, Kind::kReader, int(ReaderKey::kAutoSlower)},
    {SDLK_RIGHTBRACKET, Kind::kReader, int(ReaderKey::kAutoFaster)},
    {SDLK_F5, Kind::kReader, int(ReaderKey::kQuickSave)}, {SDLK_F9, Kind::kReader, int(ReaderKey::kQuickLoad)},
    {SDLK_F2, Kind::kReader, int(ReaderKey::kSaveSlots)}, {SDLK_F3, Kind::kReader, int(ReaderKey::kLoadSlots)},
    {SDLK_v, Kind::kReader, int(ReaderKey::kSpeech)},    {SDLK_c, Kind::kReader, int(ReaderKey::kClipboard)},
    {SDLK_b, Kind::kReader, int(ReaderKey::kBackdrop)},  {SDLK_h, Kind::kReader, int(ReaderKey::kHideText)},
};

// The gamepad, by the place of its buttons, as the keys above: A confirms and
// B cancels (the two swap when the reader asks), or as a key or a reader key.
struct PadBinding {
  SDL_GameControllerButton button;
  Kind kind;
  int what;
};
constexpr PadBinding kPadTable[] = {
    {SDL_CONTROLLER_BUTTON_A, Kind::kLevel, int(Key::kEnter)},
    {SDL_CONTROLLER_BUTTON_B, Kind::kLevel, int(Key::kRightButton)},  // the menu on a page, cancel in it
    {SDL_CONTROLLER_BUTTON_DPAD_UP, Kind::kLevel, int(Key::kUp)},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, Kind::kLevel, int(Key::kDown)},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, Kind::kLevel, int(Key::kCtrl)},
    {SDL_CONTROLLER_BUTTON_START, Kind::kLevel, int(Key::kSpace)},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, Kind::kReader, int(ReaderKey::kBacklogOlder)},
    {SDL_CONTROLLER_BUTTON_X, Kind::kReader, int(ReaderKey::kAuto)},
    {SDL_CONTROLLER_BUTTON_Y, Kind::kReader, int(ReaderKey::kHideText)},
};
constexpr uint32_t kPointerHideMs = 2000;

// Xlib's own handler ends the program at any protocol error. A request that
// meets a window already gone (as SDL's wake-up, sent on a connection of its
// own, can while the window closes) must not end the story, or make a
// reader's clean quit exit with 1.
int KeepGoingOnXErrors(Display*, XErrorEvent* error) {
  Trace(("X error " + std::to_string(error->error_code) + " ignored").c_str());
  return 0;
}

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

// The window's size and place from the settings, fitted to the display it
// opens on (the one holding its place, else the first): a window larger
// than the display took a gigabyte for its surface, one placed beyond it
// could not be seen.
void FitToDisplay(Settings& s) {
  const int displays = SDL_GetNumVideoDisplays();
  int display = 0;
  for (int i = 0; i < displays; ++i) {
    SDL_Rect b{};
    if (SDL_GetDisplayBounds(i, &b) != 0) continue;
    const bool holdsX = s.windowX < 0 || (s.windowX >= b.x && s.windowX < b.x + b.w);
    const bool holdsY = s.windowY < 0 || (s.windowY >= b.y && s.windowY < b.y + b.h);
    if (holdsX && holdsY) {
      display = i;
      break;
    }
  }
  SDL_Rect b{};
  if (SDL_GetDisplayBounds(display, &b) != 0 || b.w <= 0 || b.h <= 0) return;
  s.windowWidth = std::min(s.windowWidth, b.w);
  s.windowHeight = std::min(s.windowHeight, b.h);
  // -1 stays: centred.
  if (s.windowX >= 0) s.windowX = std::clamp(s.windowX, std::max(0, b.x), std::max(0, b.x + b.w - s.windowWidth));
  if (s.windowY >= 0) s.windowY = std::clamp(s.windowY, std::max(0, b.y), std::max(0, b.y + b.h - s.windowHeight));
}

// Where the settings put the window; centred where they say nothing.
std::pair<int, int> WindowPlace(const Settings& s) {
  return {s.windowX < 0 ? int(SDL_WINDOWPOS_CENTERED) : s.windowX, s.windowY < 0 ? int(SDL_WINDOWPOS_CENTERED) : s.windowY};
}

}  // namespace

SdlPlatform::~SdlPlatform() { Close(); }

void SdlPlatform::PrepareProcess() {
  // Nothing here takes text, so Xlib's input method needs no Compose table
  // (parsing it took most of SDL's start); and with no session bus, D-Bus is
  // not to start one.
  setenv("XCOMPOSEFILE", "/dev/null", 1);
  if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  // The window's class (X11) and app id (Wayland), which desktop entries and
  // task bars match.
  setenv("SDL_VIDEO_X11_WMCLASS", "kamishibai", 0);
  setenv("SDL_VIDEO_WAYLAND_WMCLASS", "kamishibai", 0);
  // Blocks of 128 KiB and more (pictures, surfaces, sounds) are mapped for
  // themselves and given back when freed, rather than kept in a heap that
  // only grows: glibc would otherwise raise that bound to the largest block
  // freed, and a decoded picture's buffers stay resident after it.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  // A line at a time, so that lines from two threads never mix.
  const int copy = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  std::FILE* reports = copy >= 0 ? fdopen(copy, "w") : nullptr;
  if (reports) setvbuf(reports, nullptr, _IOLBF, 0), ReportStream() = reports;
}

bool SdlPlatform::Open(Settings* settings, std::string* error) {
  settings_ = settings;
  // The window surface is drawn by us; SDL would otherwise put it on an
  // OpenGL texture, loading a GPU driver (or, without one, all of LLVM) for it.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Set before SDL opens the display: SDL puts back the handler it found when
  // it closes its connections, whose last errors then still meet ours.
  XSetErrorHandler(KeepGoingOnXErrors);
  int status = 0;
  {
    const QuietStderr quiet;
    status = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER);
  }
  Trace("SDL video started");
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
  FitToDisplay(*settings_);
  const auto [x, y] = WindowPlace(*settings_);
  // The window shows with the first picture; until then it stays hidden,
  // so the reader never sees it empty.
  window_ = SDL_CreateWindow("Kamishibai", x, y, settings_->windowWidth, settings_->windowHeight,
                             SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!window_) {
    if (error) *error = std::string("cannot open the display: ") + SDL_GetError();
    Close();
    return false;
  }
  SDL_SetWindowMinimumSize(window_, kScreenWidth / 4, kScreenHeight / 4);
  SDL_ShowCursor(SDL_DISABLE);
  managed_ = WindowManagerRunning(window_);
  if (settings_->fullScreen) SetFullScreen(true);
  modeChanged_ = false;
  noticeEvent_ = SDL_RegisterEvents(2);
  wakeEvent_ = noticeEvent_ + 1;
  Trace("window made");
  return true;
}

void SdlPlatform::SetTitle(const std::string& title) {
  if (window_) SDL_SetWindowTitle(window_, title.c_str());
}

void SdlPlatform::Close(bool processEnding) {
  if (waker_.joinable()) {
    const char stop = 0;
    if (write(wakeStop_[1], &stop, 1) == 1) waker_.join();
    close(wakeStop_[0]);
    close(wakeStop_[1]);
  }
  // The window goes first: closing a sound card that plays can take a while.
  for (SDL_GameController* pad : pads_) SDL_GameControllerClose(pad);
  pads_.clear();
  if (window_) SDL_DestroyWindow(window_);
  window_ = nullptr;
  audio_.CloseDevice(processEnding);
  if (audio_.CardLeftOpen()) {
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER);
  } else if (SDL_WasInit(0)) {
    SDL_Quit();
  }
}

bool SdlPlatform::TakeModeChanged() { return std::exchange(modeChanged_, false); }

// Milliseconds since the machine started, as the frame gate expects of its
// clock (so the first frame is not held back by a clock that starts at 0).
uint32_t SdlPlatform::NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint32_t(uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000);
}

FrameKeys SdlPlatform::TakeKeys() {
  FrameKeys keys = keys_.Take();
  keys.pointerX = pointerX_;
  keys.pointerY = pointerY_;
  keys.pointerMoved = std::exchange(pointerMoved_, false);
  return keys;
}

bool SdlPlatform::TakeMessage(Message* message) {
  if (messages_.empty()) return false;
  *message = messages_.front();
  messages_.pop_front();
  return true;
}

bool SdlPlatform::QuitPending() {
  // A first page long in coming: the window shows meanwhile, so that the
  // reader can see it and end it.
  if (!shownOnce_) ShowWindowOnce(), Show();
  DrainEvents();
  return std::any_of(messages_.begin(), messages_.end(), [](const Message& m) {
    return m.kind == Message::Kind::kQuit || m.kind == Message::Kind::kEscape;
  });
}

void SdlPlatform::ShowPointer(bool on) {
  if (on == pointerShown_) return;
  pointerShown_ = on;
  SDL_ShowCursor(on ? SDL_ENABLE : SDL_DISABLE);
}

void SdlPlatform::OnKey(const SDL_KeyboardEvent& event) {
  const bool down = event.type == SDL_KEYDOWN;
  if (down) ShowPointer(false);
  const SDL_Keycode key = event.keysym.sym;
  // Alt+Enter switches the screen and is no Enter for the story.
  if (key == SDLK_RETURN && (event.keysym.mod & KMOD_ALT)) {
    if (down && !event.repeat) SetFullScreen(!fullScreen_), Show();
    return;
  }
  bool bound = false;
  for (const Binding& binding : kKeyTable) {
    if (binding.key != key) continue;
    bound = true;
    switch (binding.kind) {
      case Kind::kLevel: keys_.Set(Key(binding.what), down); break;
      case Kind::kEscape:
        if (down && !event.repeat) messages_.push_back(Message{Message::Kind::kEscape, {}});
        break;
      case Kind::kFullScreen:
        if (down && !event.repeat) SetFullScreen(!fullScreen_), Show();
        break;
      case Kind::kReader: {
        ReaderKey what = ReaderKey(binding.what);
        if (what == ReaderKey::kSkip && (event.keysym.mod & KMOD_SHIFT)) what = ReaderKey::kSkipAll;
        if (what == ReaderKey::kClipboard && !(event.keysym.mod & KMOD_SHIFT)) what = ReaderKey::kOther;
        if (down && !event.repeat) Pressed(what);
        break;
      }
    }
  }
  if (!bound && down && !event.repeat) Pressed(ReaderKey::kOther);
}

void SdlPlatform::Pressed(ReaderKey key) { keys_.Press(key); }

void SdlPlatform::OnPadButton(const SDL_ControllerButtonEvent& event) {
  const bool down = event.type == SDL_CONTROLLERBUTTONDOWN;
  auto button = SDL_GameControllerButton(event.button);
  if (settings_->gamepadSwapAB && button == SDL_CONTROLLER_BUTTON_A) {
    button = SDL_CONTROLLER_BUTTON_B;
  } else if (settings_->gamepadSwapAB && button == SDL_CONTROLLER_BUTTON_B) {
    button = SDL_CONTROLLER_BUTTON_A;
  }
  for (const PadBinding& binding : kPadTable) {
    if (binding.button != button) continue;
    if (binding.kind == Kind::kLevel) keys_.Set(Key(binding.what), down);
    if (binding.kind == Kind::kReader && down) Pressed(ReaderKey(binding.what));
    return;
  }
  if (down) Pressed(ReaderKey::kOther);
}

// A gamepad plugged in is opened; one pulled out is closed, and what it held
// down is let go.
void SdlPlatform::OnPadPlugged(const SDL_ControllerDeviceEvent& event) {
  if (event.type == SDL_CONTROLLERDEVICEADDED) {
    if (SDL_GameController* pad = SDL_GameControllerOpen(event.which)) pads_.push_back(pad);
    return;
  }
  SDL_GameController* gone = SDL_GameControllerFromInstanceID(event.which);
  if (!gone) return;
  pads_.erase(std::remove(pads_.begin(), pads_.end(), gone), pads_.end());
  SDL_GameControllerClose(gone);
  for (const PadBinding& binding : kPadTable) {
    if (binding.kind == Kind::kLevel) keys_.Set(Key(binding.what), false);
  }
}

void SdlPlatform::PutOnClipboard(const std::string& utf8) {
  if (SDL_SetClipboardText(utf8.c_str()) != 0) Trace((std::string("clipboard: ") + SDL_GetError()).c_str());
}

// A point of the window, in the picture's own pixels; -1 off the picture.
void SdlPlatform::PointAt(int x, int y) {
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  const SDL_Rect place = Placement(w, h);
  const bool inside = x >= place.x && y >= place.y && x < place.x + place.w && y < place.y + place.h;
  pointerX_ = inside ? int(int64_t(x - place.x) * kScreenWidth / place.w) : -1;
  pointerY_ = inside ? int(int64_t(y - place.y) * kScreenHeight / place.h) : -1;
}

void SdlPlatform::DrainEvents() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    inputSinceFrame_ = true;
    if (event.type == wakeEvent_) continue;
    if (event.type == noticeEvent_) {
      messages_.push_back(Message{Message::Kind::kPlayback, MixerAudio::NoticeOf(&event)});
      continue;
    }
    switch (event.type) {
      case SDL_QUIT: messages_.push_back(Message{Message::Kind::kQuit, {}}); break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: OnKey(event.key); break;
      case SDL_MOUSEMOTION:
        PointAt(event.motion.x, event.motion.y);
        pointerMoved_ = true;
        ShowPointer(true);
        pointerHideAt_ = NowMs() + kPointerHideMs;
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        PointAt(event.button.x, event.button.y);
        if (event.button.button == SDL_BUTTON_LEFT) keys_.Set(Key::kLeftButton, event.type == SDL_MOUSEBUTTONDOWN);
        if (event.button.button == SDL_BUTTON_RIGHT) keys_.Set(Key::kRightButton, event.type == SDL_MOUSEBUTTONDOWN);
        if (event.button.button == SDL_BUTTON_MIDDLE && event.type == SDL_MOUSEBUTTONDOWN) Pressed(ReaderKey::kHideText);
        break;
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP: OnPadButton(event.cbutton); break;
      case SDL_CONTROLLERDEVICEADDED:
      case SDL_CONTROLLERDEVICEREMOVED: OnPadPlugged(event.cdevice); break;
      case SDL_MOUSEWHEEL: {
        // Each notch is a tap of its own.
        const int notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        for (int i = 0; i < std::min(std::abs(notches), 8); ++i) {
          const Key key = notches > 0 ? Key::kWheelUp : Key::kWheelDown;
          keys_.Set(key, true);
          keys_.Set(key, false);
        }
        break;
      }
      case SDL_WINDOWEVENT:
        switch (event.window.event) {
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (!fullScreen_) settings_->windowWidth = event.window.data1, settings_->windowHeight = event.window.data2;
                        Show();
            break;
          case SDL_WINDOWEVENT_MOVED:
            if (!fullScreen_) settings_->windowX = event.window.data1, settings_->windowY = event.window.data2;
            break;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_RESTORED:
                        Show();
            break;
          default: break;
        }
        break;
      default: break;
    }
  }
  if (pointerShown_ && int32_t(NowMs() - pointerHideAt_) >= 0) ShowPointer(false);
}

bool SdlPlatform::InputWaiting() {
  return inputSinceFrame_ || keys_.HasPending() || pointerMoved_;
}

void SdlPlatform::WaitForInput() {
  // Only the pointer's time to hide limits the sleep.
  if (pointerShown_) {
    WaitForMessage(std::max<uint32_t>(1, pointerHideAt_ - NowMs()));
  } else {
    SDL_WaitEvent(nullptr);
  }
}

void SdlPlatform::WakeWhenReadable(int fd) {
  if (waker_.joinable() || pipe2(wakeStop_, O_CLOEXEC) != 0) return;
  waker_ = std::thread([this, fd] {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeStop_[0], POLLIN, 0}};
    while (poll(fds, 2, -1) >= 0 && !(fds[1].revents & POLLIN)) {
      if (!(fds[0].revents & POLLIN)) continue;
      SDL_Event event{};
      event.type = wakeEvent_;
      SDL_PushEvent(&event);
      // The main thread reads the watch; look again a little later.
      poll(fds + 1, 1, 50);
    }
  });
}

void SdlPlatform::WaitForMessage(uint32_t ms) {
  // Wake to hide the pointer when its time comes.
  if (pointerShown_) ms = std::min(ms, std::max<uint32_t>(1, pointerHideAt_ - NowMs()));
  SDL_WaitEventTimeout(nullptr, int(ms));
}

// The surface presented (the engine's primary surface, which keeps its place
// for the engine's life) is shown as it is; it is drawn again from there when
// the window needs it.
void SdlPlatform::Present(const Surface& surface) {
  presented_ = &surface;
  const bool first = !shownOnce_;
  ShowWindowOnce();
  Show();
  if (!first) return;
  Trace("first picture shown");
  // Gamepads are welcome, not needed, and looking for them (every input
  // device the system has) waits until the story shows: plugged in already
  // or later, each is announced as an event and opened then.
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    Trace((std::string("no gamepads: ") + SDL_GetError()).c_str());
  }
  // The sound card opens after the first picture, not before it; sounds
  // asked for meanwhile start now.
  audio_.OpenDevice(noticeEvent_);
  Trace("sound opened");
}

void SdlPlatform::ShowWindowOnce() {
  if (shownOnce_) return;
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
  SDL_SetWindowInputFocus(window_);
  shownOnce_ = true;
}

void SdlPlatform::Show() {
  SDL_Surface* screen = window_ && shownOnce_ ? SDL_GetWindowSurface(window_) : nullptr;
  if (!screen) return;
  if (!presented_) {  // a window shown before its first picture is black
    SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    SDL_UpdateWindowSurface(window_);
    return;
  }
  SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(presented_->pixels.data()),
                                                            kScreenWidth, kScreenHeight, 32, kScreenWidth * 4,
                                                            SDL_PIXELFORMAT_RGB888);
  if (!picture) return;
  const SDL_Rect place = Placement(screen->w, screen->h);
  if (place.w != screen->w || place.h != screen->h) SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
  SDL_Rect target = place;
  if (place.w == kScreenWidth && place.h == kScreenHeight) {
    SDL_BlitSurface(picture, nullptr, screen, &target);
  } else {
    SDL_BlitScaled(picture, nullptr, screen, &target);
  }
  SDL_FreeSurface(picture);
  SDL_UpdateWindowSurface(window_);
}

void SdlPlatform::SetFullScreen(bool on) {
  if (on != fullScreen_) modeChanged_ = true;
  fullScreen_ = on;
  settings_->fullScreen = on;
  // Above other windows only while it covers the screen.
  SDL_SetWindowAlwaysOnTop(window_, on ? SDL_TRUE : SDL_FALSE);
  const auto [x, y] = WindowPlace(*settings_);
  if (managed_) {
    // The window manager does it; SDL waits a moment for it to answer.
    SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!on) {
      SDL_SetWindowSize(window_, settings_->windowWidth, settings_->windowHeight);
      SDL_SetWindowPosition(window_, x, y);
    }
  } else {
    // With no window manager there is nobody to ask (or to wait for): a
    // window without a border over the whole display is full screen.
    SDL_Rect bounds{x, y, settings_->windowWidth, settings_->windowHeight};
    if (on) SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &bounds);
    SDL_SetWindowBordered(window_, on ? SDL_FALSE : SDL_TRUE);
    SDL_SetWindowResizable(window_, on ? SDL_FALSE : SDL_TRUE);
    SDL_SetWindowSize(window_, bounds.w, bounds.h);
    SDL_SetWindowPosition(window_, bounds.x, bounds.y);
  }
  }

}  // namespace ks

// One measured run of the real player, under an X server of its own (Xvfb
// -br -noreset, 640 x 480 x 24, so the full-screen player shows its picture
// 1:1 and the screen is black before it starts):
//   player_probe PLAYER STORY REF1.png REF2.png [HOLD_MS]
// REF1 and REF2 are the replay tool's pictures of the first page and of the
// page Enter brings. The probe starts PLAYER STORY (through /usr/bin/time -v),
// then prints one "name value" line per figure:
//   first_page_ms     fork/exec of the player → the screen shows REF1 whole
//   wait_cpu_percent  CPU of all the player's threads while the first page
//                     waits 10 s (after 3 s of settling: the sound card's
//                     rest begins after 2 s of silence), % of one core
//   wait_wakeups_per_s  how often a thread of the player ran meanwhile
//   enter_page_ms     Enter down (XTest, held HOLD_MS, 100 by default) → the
//                     screen shows REF2 whole
//   vmhwm_kb          VmHWM from /proc just before quitting
//   maxrss_kb         /usr/bin/time -v's maximum resident set size
//   quit_window_ms    the key that quits down (or the window closed) → the
//                     window is gone (the bands of the second page read black)
//   quit_ms           the same → the player's process has ended (its last
//                     writes, fsync included, done)
//   exit_status       the player's exit status after quitting
// KS_PROBE_QUIT picks the way out: escape (the default), menu (Space, Down
// three times, Enter: the menu's quit row), enter (Enter on the second page,
// for a story that quits there with @Z) or window (the window manager's
// close, as a WM_DELETE_WINDOW message).
// Watching the screen: a few thin full-width bands, chosen where the picture
// awaited differs from the one before it (its first and last differing rows
// and two between), are read after every 0.5 ms, so that the polling takes
// little of the X server from the player it measures. When all bands match,
// the whole screen is read once and compared; only a whole match counts. The
// time taken is when that band read returned. A page must still be on the
// screen after settling, so a picture that shows only for a moment fails.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/png.h"
#include "read_png.h"

namespace {

constexpr int kBandRows = 4;
constexpr int kBands = 4;
constexpr double kPollSleepS = 0.0005;

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SleepS(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

int Fail(const std::string& why) {
  std::fprintf(stderr, "player_probe: %s\n", why.c_str());
  return 1;
}

// The pixel at (x, y) of an XImage as 0x00RRGGBB: straight from the data for
// the 32-bit layout Xvfb's 24-bit screens use, through XGetPixel otherwise.
uint32_t PixelAt(XImage* image, int x, int y) {
  if (image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 && image->byte_order == LSBFirst) {
    const char* row = image->data + size_t(y) * size_t(image->bytes_per_line);
    uint32_t value;
    std::copy_n(row + size_t(x) * 4, 4, reinterpret_cast<char*>(&value));
    return value & 0xFFFFFF;
  }
  return uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
}

// Whether rows [top, top + rows) of the screen equal those rows of `ref`.
// Counts the differing pixels into `*differing` when given.
bool RowsMatch(Display* display, const ks::Image& ref, int top, int rows, long* differing = nullptr) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), 0, top, unsigned(ref.width), unsigned(rows), AllPlanes,
                            ZPixmap);
  if (!image) return false;
  long count = 0;
  for (int y = 0; y < rows; ++y) {
    const uint32_t* want = &ref.pixels[size_t(top + y) * size_t(ref.width)];
    for (int x = 0; x < ref.width; ++x) {
      if (PixelAt(image, x, y) != want[x]) {
        if (!differing) {
          XDestroyImage(image);
          return false;
        }
        ++count;
      }
    }
  }
  XDestroyImage(image);
  if (differing) *differing = count;
  return count == 0;
}

// What the probe waits for: a picture, and the bands it reads to see it come.
struct Awaited {
  const ks::Image* ref = nullptr;
  std::vector<int> bandTops;
};

// Bands where `ref` differs from `before` (what the screen shows until it
// comes): at its first and last differing rows and evenly between. Where the
// two do not differ at all, bands spread over the whole height.
Awaited BandsFor(const ks::Image& ref, const ks::Image* before) {
  std::vector<int> rows;
  for (int y = 0; y < ref.height; ++y) {
    const size_t at = size_t(y) * size_t(ref.width);
    const bool differs =
        !before || !std::equal(ref.pixels.begin() + long(at), ref.pixels.begin() + long(at + ref.width),
                               before->pixels.begin() + long(at));
    if (differs) rows.push_back(y);
  }
  if (rows.empty()) {
    for (int y = 0; y < ref.height; ++y) rows.push_back(y);
  }
  Awaited awaited{&ref, {}};
  for (int i = 0; i < kBands; ++i) {
    const int row = rows[size_t(i) * (rows.size() - 1) / (kBands - 1)];
    awaited.bandTops.push_back(std::clamp(row - kBandRows / 2, 0, ref.height - kBandRows));
  }
  return awaited;
}

bool BandsMatch(Display* display, const Awaited& awaited) {
  for (int top : awaited.bandTops) {
    if (!RowsMatch(display, *awaited.ref, top, kBandRows)) return false;
  }
  return true;
}

// Whether every band of `awaited` reads black: the window is gone from the
// -br screen.
bool BandsBlack(Display* display, const Awaited& awaited) {
  static const ks::Image black = [&] {
    ks::Image image = *awaited.ref;
    std::fill(image.pixels.begin(), image.pixels.end(), 0);
    return image;
  }();
  for (int top : awaited.bandTops) {
    if (!RowsMatch(display, black, top, kBandRows)) return false;
  }
  return true;
}

long ScreenDiffers(Display* display, const ks::Image& ref) {
  long differing = 0;
  RowsMatch(display, ref, 0, ref.height, &differing);
  return differing;
}

// Polls until the screen shows `awaited` whole or `timeoutS` passes; returns
// the seconds from `start` to the band read that saw it, or -1. `whilePolling`
// runs between reads (to let a held key go at its time); polling stops at
// once when it returns false.
template <typename Each>
double WaitForScreen(Display* display, const Awaited& awaited, double start, double timeoutS, Each whilePolling) {
  while (Seconds() - start < timeoutS) {
    if (!whilePolling()) return -1;
    if (BandsMatch(display, awaited)) {
      const double seen = Seconds() - start;
      if (ScreenDiffers(display, *awaited.ref) == 0) return seen;
    }
    SleepS(kPollSleepS);
  }
  return -1;
}

// The first child of process `pid` (the player under /usr/bin/time).
pid_t ChildOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  pid_t child = -1;
  in >> child;
  return child;
}

// CPU seconds used by all threads of `pid`, from the scheduler's nanosecond
// counts (the tick counts of /proc/PID/stat are 10 ms coarse), and how many
// times they were put on a core into `*runs`.
double CpuSeconds(pid_t pid, unsigned long long* runs) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (!dir) return 0;
  unsigned long long ns = 0;
  *runs = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream in(tasks + "/" + entry->d_name + "/schedstat");
    unsigned long long running = 0, waiting = 0, slices = 0;
    if (in >> running >> waiting >> slices) ns += running, *runs += slices;
  }
  closedir(dir);
  return double(ns) / 1e9;
}

// A number in kB from /proc/PID/status ("VmHWM:   25400 kB"), or -1.
long StatusKb(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  return -1;
}

void Key(Display* display, KeyCode code, bool down) {
  XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime);
  XFlush(display);
}

// Waits up to `timeoutS` for `pid` to end; its exit status (128 + signal), or
// -1 after killing it when it did not end.
int WaitForExit(pid_t pid, double timeoutS) {
  const double start = Seconds();
  int raw = 0;
  while (waitpid(pid, &raw, WNOHANG) != pid) {
    if (Seconds() - start > timeoutS) {
      kill(pid, SIGKILL);
      waitpid(pid, &raw, 0);
      return -1;
    }
    SleepS(0.001);
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

void Tap(Display* display, KeyCode code) {
  Key(display, code, true);
  SleepS(0.05);
  Key(display, code, false);
  SleepS(0.1);
}

// Asks the top-level window of process `pid` to close, as a window manager
// does. Returns false when the process has no such window.
bool CloseWindowOf(Display* display, pid_t pid) {
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return false;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success && data) {
      if (items == 1 && pid_t(*reinterpret_cast<unsigned long*>(data)) == pid) found = children[i];
      XFree(data);
    }
  }
  if (children) XFree(children);
  if (!found) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = found;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, found, False, NoEventMask, &event);
  XFlush(display);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: player_probe PLAYER STORY REF1.png REF2.png [HOLD_MS]\n");
    return 2;
  }
  const std::string player = argv[1], story = argv[2];
  const double holdS = (argc == 6 ? std::atof(argv[5]) : 100) / 1000;
  ks::Image ref1, ref2;
  std::string error;
  if (!ks::test::ReadPng(argv[3], &ref1, &error) || !ks::test::ReadPng(argv[4], &ref2, &error)) return Fail(error);

  Display* display = XOpenDisplay(nullptr);
  if (!display) return Fail("no X display (set DISPLAY)");
  const Screen* screen = DefaultScreenOfDisplay(display);
  for (const ks::Image* ref : {&ref1, &ref2}) {
    if (ref->width != screen->width || ref->height != screen->height) {
      return Fail("the pictures are " + std::to_string(ref->width) + " x " + std::to_string(ref->height) +
                  ", the screen " + std::to_string(screen->width) + " x " + std::to_string(screen->height));
    }
  }
  int event = 0, xerror = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event, &xerror, &major, &minor)) return Fail("the X server has no XTEST");
  const KeyCode enter = XKeysymToKeycode(display, XK_Return);
  const KeyCode escape = XKeysymToKeycode(display, XK_Escape);
  const KeyCode space = XKeysymToKeycode(display, XK_space);
  const KeyCode downKey = XKeysymToKeycode(display, XK_Down);
  const std::string way = std::getenv("KS_PROBE_QUIT") ? std::getenv("KS_PROBE_QUIT") : "escape";
  if (way != "escape" && way != "menu" && way != "enter" && way != "window") return Fail("KS_PROBE_QUIT: " + way + "?");

  const Awaited firstPage = BandsFor(ref1, nullptr);
  const Awaited nextPage = BandsFor(ref2, &ref1);
  // The player of a run before may still be closing its window.
  const double idle = Seconds();
  while (BandsMatch(display, firstPage)) {
    if (Seconds() - idle > 3) return Fail("the screen shows the first page before the player starts");
    SleepS(0.01);
  }

  const std::string timeReport = "/tmp/player_probe-" + std::to_string(getpid()) + "-time.txt";
  const double start = Seconds();
  const pid_t timePid = fork();
  if (timePid == 0) {
    execl("/usr/bin/time", "time", "-v", "-o", timeReport.c_str(), player.c_str(), story.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  if (timePid < 0) return Fail("cannot fork");
  auto giveUp = [&](const std::string& why, const ks::Image& ref) {
    std::fprintf(stderr, "player_probe: %s (%ld pixels differ)\n", why.c_str(), ScreenDiffers(display, ref));
    kill(timePid, SIGTERM);
    if (const pid_t child = ChildOf(timePid); child > 0) kill(child, SIGKILL);
    WaitForExit(timePid, 5);
    std::remove(timeReport.c_str());
    return 1;
  };

  // Start → first page.
  int earlyStatus = -1;
  auto running = [&] {
    int raw = 0;
    if (waitpid(timePid, &raw, WNOHANG) != timePid) return true;
    earlyStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return false;
  };
  const double firstPageS = WaitForScreen(display, firstPage, start, 10, running);
  if (earlyStatus >= 0) std::remove(timeReport.c_str());
  if (earlyStatus >= 0) return Fail("the player ended before its first page, exit status " + std::to_string(earlyStatus));
  if (firstPageS < 0) return giveUp("the first page was not on the screen after 10 s", ref1);
  const pid_t playerPid = ChildOf(timePid);
  if (playerPid <= 0) return giveUp("cannot find the player's process", ref1);

  // CPU while the page waits.
  SleepS(3);
  if (ScreenDiffers(display, ref1) != 0) return giveUp("the first page did not stay", ref1);
  unsigned long long runsBefore = 0, runsAfter = 0;
  const double cpuBefore = CpuSeconds(playerPid, &runsBefore);
  SleepS(10);
  const double waitCpu = (CpuSeconds(playerPid, &runsAfter) - cpuBefore) / 10;

  // Enter down → next page, the key held `holdS`.
  const double down = Seconds();
  Key(display, enter, true);
  bool released = false;
  auto release = [&] {
    if (!released && Seconds() - down >= holdS) Key(display, enter, false), released = true;
    return true;
  };
  const double enterPageS = WaitForScreen(display, nextPage, down, 5, release);
  while (!released) release(), SleepS(kPollSleepS);
  if (enterPageS < 0) return giveUp("the next page was not on the screen 5 s after Enter", ref2);
  SleepS(0.3);
  if (ScreenDiffers(display, ref2) != 0) return giveUp("the next page did not stay", ref2);

  // Peak memory, then the way out.
  const long vmhwm = StatusKb(playerPid, "VmHWM");
  KeyCode quitKey = way == "enter" ? enter : escape;
  if (way == "menu") {
    Tap(display, space);
    for (int i = 0; i < 3; ++i) Tap(display, downKey);
    quitKey = enter;
  }
  const double quitStart = Seconds();
  if (way == "window") {
    if (!CloseWindowOf(display, playerPid)) return giveUp("the player has no window to close", ref2);
  } else {
    Key(display, quitKey, true);
  }
  double windowGoneS = -1;
  int raw = 0;
  bool ended = false;
  while (!ended && Seconds() - quitStart < 10) {
    ended = waitpid(timePid, &raw, WNOHANG) == timePid;
    if (windowGoneS < 0 && BandsBlack(display, nextPage)) windowGoneS = Seconds() - quitStart;
    if (!ended) SleepS(0.0005);
  }
  const double quitS = Seconds() - quitStart;
  if (windowGoneS < 0) windowGoneS = quitS;
  if (!ended) kill(playerPid, SIGKILL);  // it did not quit: the run fails
  const int status = ended ? (WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw)) : WaitForExit(timePid, 5);
  if (way != "window") Key(display, quitKey, false);
  long maxRss = -1;
  std::ifstream report(timeReport);
  for (std::string line; std::getline(report, line);) {
    if (line.find("Maximum resident set size") != std::string::npos) maxRss = std::atol(line.c_str() + line.rfind(':') + 1);
  }
  std::remove(timeReport.c_str());
  std::printf("first_page_ms %.2f\n", firstPageS * 1000);
  std::printf("wait_cpu_percent %.3f\n", waitCpu * 100);
  std::printf("wait_wakeups_per_s %.1f\n", double(runsAfter - runsBefore) / 10);
  std::printf("enter_page_ms %.2f\n", enterPageS * 1000);
  std::printf("vmhwm_kb %ld\n", vmhwm);
  std::printf("maxrss_kb %ld\n", maxRss);
  std::printf("quit_window_ms %.2f\n", windowGoneS * 1000);
  std::printf("quit_ms %.2f\n", quitS * 1000);
  std::printf("exit_status %d\n", status);
  XCloseDisplay(display);
  return 0;
}

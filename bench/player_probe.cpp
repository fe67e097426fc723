// One measured run of the real player, under an X server of its own (Xvfb
// -br -noreset, 640 x 480 x 24, so the full-screen player shows its picture
// 1:1 and the screen is black before it starts):
//   player_probe PLAYER STORY REF1.png REF2.png [HOLD_MS]
// REF1 and REF2 are the replay tool's pictures of the first page and of the
// page Enter brings. The probe starts PLAYER STORY (through /usr/bin/time -v),
// then prints one "name value" line per figure:
//   first_page_ms     fork/exec of the player → the screen shows REF1 whole
//   wait_cpu_percent  CPU of all the player's threads while the first page
//                     waits 10 s (after 1 s of settling), % of one core
//   enter_page_ms     Enter down (XTest, held HOLD_MS, 100 by default) → the
//                     screen shows REF2 whole
//   vmhwm_kb          VmHWM from /proc just before quitting
//   maxrss_kb         /usr/bin/time -v's maximum resident set size
//   exit_status       the player's exit status after Escape
// Watching the screen: a few thin full-width bands, chosen where the picture
// awaited differs from the one before it (its first and last differing rows
// and two between), are read after every 0.5 ms, so that the polling takes
// little of the X server from the player it measures. When all bands match,
// the whole screen is read once and compared; only a whole match counts. The
// time taken is when that band read returned. A page must still be on the
// screen after settling, so a picture that shows only for a moment fails.
#include <X11/Xlib.h>
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
// counts (the tick counts of /proc/PID/stat are 10 ms coarse).
double CpuSeconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (!dir) return 0;
  unsigned long long ns = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream in(tasks + "/" + entry->d_name + "/schedstat");
    unsigned long long running = 0;
    if (in >> running) ns += running;
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
    SleepS(0.01);
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
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
  SleepS(1);
  if (ScreenDiffers(display, ref1) != 0) return giveUp("the first page did not stay", ref1);
  const double cpuBefore = CpuSeconds(playerPid);
  SleepS(10);
  const double waitCpu = (CpuSeconds(playerPid) - cpuBefore) / 10;

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

  // Peak memory, then Escape.
  const long vmhwm = StatusKb(playerPid, "VmHWM");
  Key(display, escape, true);
  SleepS(0.05);
  Key(display, escape, false);
  const int status = WaitForExit(timePid, 10);
  long maxRss = -1;
  std::ifstream report(timeReport);
  for (std::string line; std::getline(report, line);) {
    if (line.find("Maximum resident set size") != std::string::npos) maxRss = std::atol(line.c_str() + line.rfind(':') + 1);
  }
  std::remove(timeReport.c_str());
  std::printf("first_page_ms %.2f\n", firstPageS * 1000);
  std::printf("wait_cpu_percent %.3f\n", waitCpu * 100);
  std::printf("enter_page_ms %.2f\n", enterPageS * 1000);
  std::printf("vmhwm_kb %ld\n", vmhwm);
  std::printf("maxrss_kb %ld\n", maxRss);
  std::printf("exit_status %d\n", status);
  XCloseDisplay(display);
  return 0;
}

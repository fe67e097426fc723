// Whole-process figures for the player, under an X server (Xvfb -br, so the
// screen starts black):
//   player_probe PLAYER STORY_DIR
// starts the player (through /usr/bin/time -v) in STORY_DIR and reports
//   - the time from start until the first picture is on the screen (the
//     screen, polled through Xlib, is no longer all black);
//   - the CPU the player uses while its first page waits 10 seconds;
//   - its peak memory (VmHWM from /proc, and /usr/bin/time's maximum RSS);
// then presses Escape (xdotool) and reports the exit status.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Whether the screen shows anything: a pixel that is not black on the first
// line of page text or on a line across the middle. Small reads, so that the
// probe takes little of the X server's time from the player it measures.
bool ScreenShowsSomething(Display* display) {
  const Window root = DefaultRootWindow(display);
  const int strips[][4] = {{40, 35, 560, 16}, {0, 240, 640, 1}};
  for (const auto& strip : strips) {
    XImage* image = XGetImage(display, root, strip[0], strip[1], unsigned(strip[2]), unsigned(strip[3]), AllPlanes, ZPixmap);
    if (!image) continue;
    bool found = false;
    for (int y = 0; y < strip[3] && !found; ++y) {
      for (int x = 0; x < strip[2] && !found; ++x) found = (XGetPixel(image, x, y) & 0xFFFFFF) != 0;
    }
    XDestroyImage(image);
    if (found) return true;
  }
  return false;
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

std::string StatusLine(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + ":", 0) == 0) return line.substr(key.size() + 1);
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: player_probe PLAYER STORY_DIR\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "player_probe: no X display (set DISPLAY)\n");
    return 1;
  }
  if (ScreenShowsSomething(display)) {
    std::fprintf(stderr, "player_probe: the screen is not black to begin with (start Xvfb with -br)\n");
    return 1;
  }
  const std::string timeReport = std::string(argv[2]) + "/time-v.txt";
  const double start = Seconds();
  const pid_t timePid = fork();
  if (timePid == 0) {
    if (chdir(argv[2]) != 0) _exit(126);
    execl("/usr/bin/time", "time", "-v", "-o", timeReport.c_str(), argv[1], static_cast<char*>(nullptr));
    _exit(127);
  }
  while (!ScreenShowsSomething(display)) {
    if (Seconds() - start > 10) {
      std::fprintf(stderr, "player_probe: nothing shown after 10 s\n");
      return 1;
    }
  }
  const double firstPicture = Seconds() - start;
  const pid_t player = ChildOf(timePid);

  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double cpuBefore = CpuSeconds(player);
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double cpuUsed = CpuSeconds(player) - cpuBefore;
  const std::string hwm = StatusLine(player, "VmHWM");

  if (std::system("xdotool keydown Escape; sleep 0.15; xdotool keyup Escape") != 0) {
    std::fprintf(stderr, "player_probe: xdotool failed\n");
  }
  int status = 0;
  waitpid(timePid, &status, 0);

  std::string maxRss = "?";
  std::ifstream report(timeReport);
  for (std::string line; std::getline(report, line);) {
    if (line.find("Maximum resident set size") != std::string::npos) maxRss = line.substr(line.rfind(':') + 2) + " kB";
  }
  std::printf("start to first picture: %.1f ms\n", firstPicture * 1000);
  std::printf("CPU while a page waits 10 s: %.2f %% of one core\n", cpuUsed / 10 * 100);
  std::printf("peak memory: VmHWM%s; /usr/bin/time -v maximum RSS %s\n", hwm.c_str(), maxRss.c_str());
  std::printf("exit status after Escape: %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  XCloseDisplay(display);
  return 0;
}

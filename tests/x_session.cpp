#include "x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ks::test {

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void Child::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void Child::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

bool Child::Start(const std::vector<std::string>& argv, const std::string& dir,
                  const std::map<std::string, std::string>& env, const std::string& logFile) {
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) dup2(log, STDOUT_FILENO), dup2(log, STDERR_FILENO), close(log);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return true;
}

bool Child::Wait(int ms, int* status) {
  const long long end = NowMs() + ms;
  do {
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      pid_ = -1;
      if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      return true;
    }
    SleepMs(5);
  } while (NowMs() < end);
  return false;
}

bool XSession::Start(std::string* error, int width, int height) {
  if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0) {
    return (*error = "Xvfb and xdotool are needed (Debian: xvfb xdotool)"), false;
  }
  // Xvfb picks a free display itself and writes its number to the pipe.
  // Without -noreset it resets when its last client leaves, and refuses the
  // clients that connect meanwhile.
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  if (!server_.Start({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", screen, "-nolisten", "tcp",
                      "-noreset"},
                     "", {}, "/dev/null")) {
    return (*error = "cannot start Xvfb"), false;
  }
  close(pipeFds[1]);
  std::string number;  // each byte within 10 s, until the line ends or Xvfb does
  pollfd in{pipeFds[0], POLLIN, 0};
  for (char c = 0; poll(&in, 1, 10000) > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n';) number += c;
  close(pipeFds[0]);
  if (number.empty()) return (*error = "Xvfb did not start"), false;
  display_ = ":" + number;
  return true;
}

int XSession::Run(const std::string& command) const {
  const int raw = std::system(("export DISPLAY=" + display_ + "; " + command).c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

void XSession::Press(const std::string& key, int ms, int thenMs) const {
  Run("xdotool keydown " + key + " sleep " + std::to_string(ms / 1000.0) + " keyup " + key);
  SleepMs(thenMs);
}

bool XSession::WaitForWindow(const std::string& title, int ms) const {
  const long long end = NowMs() + ms;
  while (NowMs() < end) {
    // By its class, then its name: xdotool's name search misses UTF-8 titles.
    const std::string name = "$(xdotool search --onlyvisible --class '^kamishibai$' getwindowname 2>/dev/null)";
    if (Run("test \"" + name + "\" = '" + title + "'") == 0) return true;
    SleepMs(50);
  }
  return false;
}

bool XSession::Screenshot(Image* image, std::string* error) const {
  Display* x = XOpenDisplay(display_.c_str());
  if (!x) return (*error = "cannot connect to " + display_), false;
  const Window root = DefaultRootWindow(x);
  XWindowAttributes attributes{};
  XGetWindowAttributes(x, root, &attributes);
  XImage* shot = XGetImage(x, root, 0, 0, unsigned(attributes.width), unsigned(attributes.height), AllPlanes, ZPixmap);
  *image = Image{attributes.width, attributes.height, {}};
  for (int y = 0; shot && y < shot->height; ++y) {
    for (int x0 = 0; x0 < shot->width; ++x0) image->pixels.push_back(uint32_t(XGetPixel(shot, x0, y)) & 0xFFFFFF);
  }
  if (shot) XDestroyImage(shot);
  XCloseDisplay(x);
  if (!shot) *error = "the X server gave no picture";
  return shot != nullptr;
}

}  // namespace ks::test

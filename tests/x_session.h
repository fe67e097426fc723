// End-to-end tests: an Xvfb of their own, keys through xdotool, screenshots from the server.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "present/bmp_decode.h"

namespace ks::test {

// A child process; killed when the object goes if it still runs.
class Child {
 public:
  Child() = default;
  ~Child() { Kill(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Starts `argv` in folder `dir` with `env` added to this process's
  // environment; stdout and stderr go to `logFile`.
  bool Start(const std::vector<std::string>& argv, const std::string& dir,
             const std::map<std::string, std::string>& env, const std::string& logFile);
  // Waits up to `ms` for it to end: true with its exit status (or 128 + signal).
  bool Wait(int ms, int* status);
  void Kill();              // at once, with SIGKILL
  void Signal(int signal);  // and waits for nothing

 private:
  pid_t pid_ = -1;
};

class XSession {
 public:
  // Starts Xvfb with a screen of `width` x `height`; false with a reason
  // when it cannot (not installed, ...).
  bool Start(std::string* error, int width = 640, int height = 480);
  const std::string& display() const { return display_; }

  // Runs a shell command against this display; returns its exit status.
  int Run(const std::string& command) const;
  // Holds `key` (an X key name: Return, Down, space, Escape) for `ms`, then
  // waits `thenMs`.
  void Press(const std::string& key, int ms = 150, int thenMs = 0) const;
  // Waits until a window titled exactly `title` shows (up to `ms`).
  bool WaitForWindow(const std::string& title, int ms) const;
  // The whole screen as 0x00RRGGBB pixels.
  bool Screenshot(Image* image, std::string* error) const;

 private:
  Child server_;
  std::string display_;
};

// Milliseconds on a monotonic clock, and a sleep.
long long NowMs();
void SleepMs(int ms);

}  // namespace ks::test

// While SDL probes for a display or a sound card, the libraries under it
// print their own diagnostics (a machine without a sound card gets a page of
// ALSA internals, one without Wayland a libwayland complaint). The reader gets
// one line of ours instead.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace ks {

// Sends stderr to /dev/null for as long as it lives.
class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, STDERR_FILENO);
      close(null);
    }
  }
  ~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace ks

// A start-up timeline for measuring: with KAMISHIBAI_TRACE=1 in the
// environment, each trace point prints the milliseconds since the process
// started, and its name, on stderr.
#pragma once

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace ks {

inline void Trace(const char* what) {
  static const bool on = [] {
    const char* value = std::getenv("KAMISHIBAI_TRACE");
    return value && *value && *value != '0';
  }();
  if (!on) return;
  // When the process started, in clock ticks since boot (field 22 of
  // /proc/self/stat), against the same clock now.
  static const double started = [] {
    std::ifstream in("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && in >> field; ++i) {
    }
    return std::atof(field.c_str()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
  }();
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  std::fprintf(stderr, "trace %7.1f ms  %s\n", double(now.tv_sec) * 1000 + double(now.tv_nsec) / 1e6 - started, what);
}

}  // namespace ks

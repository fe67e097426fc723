// Problems the reader can act on that do not stop the player (a save that
// could not be written, a load with no save file): one line on stderr.
#pragma once

#include <cstdio>
#include <string>

namespace ks {

// Where the lines go: stderr, or a stream the player set before any thread
// started (a copy of stderr that silencing a library's start-up, which
// points stderr elsewhere for a moment, does not touch). nullptr: stderr.
inline std::FILE*& ReportStream() {
  static std::FILE* stream = nullptr;
  return stream;
}

inline void Report(const std::string& problem) {
  std::FILE* out = ReportStream() ? ReportStream() : stderr;
  std::fprintf(out, "kamishibai: %s\n", problem.c_str());
  std::fflush(out);
}

}  // namespace ks

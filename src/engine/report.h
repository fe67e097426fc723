// Problems the reader can act on that do not stop the player (a save that
// could not be written, a load with no save file): one line on stderr.
#pragma once

#include <cstdio>
#include <string>

namespace ks {

inline void Report(const std::string& problem) { std::fprintf(stderr, "kamishibai: %s\n", problem.c_str()); }

}  // namespace ks

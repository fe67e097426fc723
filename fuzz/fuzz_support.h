// A story folder for the fuzz targets, made once per process: the script and
// save file come from the fuzzer, and "@G" or "@K" find an ordinary folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>

#include "engine/engine_state.h"

namespace ks::fuzz {

inline const std::string& StoryFolder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/ks-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    mkdir((pattern + "/DATA").c_str(), 0755);
    static std::string removed = pattern;
    std::atexit([] { std::filesystem::remove_all(removed); });
    return pattern;
  }();
  return folder;
}

// One engine reused for every input, every field back at its starting value
// but the surfaces: making three zeroed 640 x 480 surfaces per input would
// cost more under AddressSanitizer than the run itself.
inline EngineState& FreshEngine() {
  static EngineState* pristine = [] {
    auto* state = new EngineState;
    state->display.primarySurface = Surface();
    state->display.backBuffer = Surface();
    state->display.backgroundSurface = Surface();
    state->storyRoot = StoryFolder();
    return state;
  }();
  static EngineState* engine = new EngineState;
  Surface primary = std::move(engine->display.primarySurface);
  Surface back = std::move(engine->display.backBuffer);
  Surface background = std::move(engine->display.backgroundSurface);
  *engine = *pristine;
  engine->display.primarySurface = std::move(primary);
  engine->display.backBuffer = std::move(back);
  engine->display.backgroundSurface = std::move(background);
  return *engine;
}

}  // namespace ks::fuzz

// A story folder for the fuzz targets, made once per process: the script and
// save file come from the fuzzer, and "@G" or "@K" find an ordinary folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>

#include "core/engine_state.h"
#include "platform/desktop/desktop_machine.h"

namespace ks::fuzz {

// The fuzz targets' story folder is on the disk, in /tmp.
[[maybe_unused]] inline const bool kDesktopMachine = (UseMachine(&Desktop()), true);

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
  static EngineState* engine = new EngineState;
  EngineState& e = *engine;
  e.script = ScriptState{};
  e.page = PageState{};
  e.choices = ChoiceState{};
  e.screen = ScreenState{};
  e.input = InputState{};
  e.assets = AssetState{};
  e.sound = SoundState{};
  e.reader = ReaderState{};
  e.display.backgroundGeneration = e.display.pictureGeneration = 0;
  e.display.picturePath.clear();
  e.display.composing = e.display.backBufferReady = e.display.sceneShown = false;
  e.display.shownScene = Scene{};
  e.storyRoot = StoryFolder();
  return e;
}

}  // namespace ks::fuzz

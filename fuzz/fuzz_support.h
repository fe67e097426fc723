// The fuzz targets' story is held in memory (platform/headless's
// MemoryMachine): the script and save file come from the fuzzer, and no input
// ever touches the disk.
#pragma once

#include <string>

#include "core/engine_state.h"
#include "platform/headless/memory_machine.h"

namespace ks::fuzz {

inline MemoryMachine& Memory() {
  static MemoryMachine* machine = [] {
    auto* m = new MemoryMachine;
    UseMachine(m);
    return m;
  }();
  return *machine;
}

inline const std::string& StoryFolder() {
  static const std::string folder = (Memory(), "/story");
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

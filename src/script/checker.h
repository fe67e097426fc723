// The story checker: reads a script as the player does and lists what will
// go wrong when it is played, each at the byte that causes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine_state.h"

namespace ks {

enum class Severity { kError, kWarning };

struct Finding {
  Severity severity = Severity::kError;
  uint32_t offset = 0;  // into the script's bytes
  uint32_t line = 1;    // 1-based, in the file as written
  uint32_t column = 1;  // 1-based byte column within that line
  std::string message;
};

// Checks the script in `state`, loaded and indexed as the player does
// (LoadScript, BuildLabelIndex); `original` is the file's bytes before line
// feeds became commas, for line numbers. Files named by the script are looked
// for under `storyRoot`. Findings come in script order; `scriptPos` is left
// at the end of the script.
std::vector<Finding> CheckScript(EngineState& state, const std::vector<uint8_t>& original);

struct StoryCheck {
  std::string scriptName;  // the script's path inside the story folder
  std::vector<Finding> findings;
};

// Loads DATA/Script.txt from the story folder `root` and checks it. Returns
// false with a reason when the script cannot be read.
bool CheckStory(const std::string& root, StoryCheck* check, std::string* error);

}  // namespace ks

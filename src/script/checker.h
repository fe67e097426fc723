// The story checker: reads a script as the player does and lists what will
// go wrong when it is played, each at the byte that causes it, with what to
// do about it. One cause gives one finding: what it brings about further on
// is not reported again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/engine_state.h"

namespace ks {

enum class Severity { kError, kWarning };

struct Finding {
  Severity severity = Severity::kError;
  uint32_t offset = 0;  // into the script's bytes
  uint32_t line = 1;    // 1-based; a line ends at LF, CR LF or a CR alone
  uint32_t column = 1;  // 1-based, in characters (a double-byte character is one), as editors count
  std::string message;  // one line, UTF-8, saying what goes wrong and what to do
};

// Checks the script in `state`, loaded and indexed as the player does
// (LoadScript, BuildLabelIndex); `original` is the file's bytes before line
// feeds became commas, for line numbers. Files named by the script are looked
// for under `storyRoot`, pictures decoded and sounds' headers checked.
// Findings come in script order; `scriptPos` is left at the end of the
// script. Time and memory grow linearly with the script.
std::vector<Finding> CheckScript(EngineState& state, const std::vector<uint8_t>& original);

struct StoryCheck {
  std::string scriptName;  // the script's path inside the story folder
  std::string scriptPath;  // the same, joined to the story folder as given ("./" left off)
  std::vector<Finding> findings;
};

// Loads DATA/Script.txt from the story folder `root` and checks it. Returns
// false with a reason when the script cannot be read.
bool CheckStory(const std::string& root, StoryCheck* check, std::string* error);


}  // namespace ks

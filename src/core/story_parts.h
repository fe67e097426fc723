// The parts of the story's state that a stop leaves on the screen and that
// going back puts back whole: the page, the choice list and the picture and
// music asked for (EngineState holds them; core/place_state.h snapshots them).
#pragma once

#include <cstdint>

#include "core/limits.h"

namespace ks {

// The page: Shift-JIS bytes, NUL-terminated when the interpreter stops at a
// page end, a fade or the script's end. Old bytes past the NUL stay.
struct PageState {
  char pageText[kPageBytes] = {};
  uint32_t pageLength = 0;  // never above kMaxPageLength
};

struct ChoiceState {
  char choiceTexts[kMaxChoices][kChoiceTextBytes] = {};
  int32_t choiceTargets[kMaxChoices] = {};
  int32_t choiceX = kLowChoiceX;
  int32_t choiceY = kLowChoiceY;
};

// The picture and music the script last asked for, as saved.
struct AssetState {
  char backgroundFile[kBackgroundNameBytes] = {};
  char bgmFile[kBgmNameBytes] = {};
};

}  // namespace ks

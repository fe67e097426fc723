// The script interpreter.
#pragma once

#include "core/engine_state.h"

namespace ks {

// Runs the script from `scriptPos`, copying text into the page and carrying
// out commands, until one makes the player wait ("@E" page end, "@C" choice
// list, "@F" fade, "@K" load) or the script ends. Never waits for the reader.
void RunScript(EngineState& state);

}  // namespace ks

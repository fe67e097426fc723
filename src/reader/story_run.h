// The story runs on: the script from where it stands, with what the reader
// keeps of each run (where it started and the page it left, for the marks of
// pages read and for going back).
#pragma once

#include "core/engine_state.h"

namespace ks {

// Runs the script from `scriptPos` to its next stop, and notes the page it
// stopped on for the reader's aids.
void RunStory(EngineState& state);

}  // namespace ks

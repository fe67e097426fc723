// Turns one frame's keys and mouse into what the reader means (core/intents.h).
#pragma once

#include "core/engine_state.h"
#include "core/intents.h"
#include "core/platform.h"

namespace ks {

// The frame's intents: its held story keys, its presses (as the key tracker
// marked them), and the row of the scene on the screen under the pointer.
Intents ReadIntents(const FrameKeys& keys, const DisplayState& display);

}  // namespace ks

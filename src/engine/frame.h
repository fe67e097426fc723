// The frame update: pacing, the fade, and one composed picture per frame.
#pragma once

#include <cstdint>

#include "core/engine_state.h"
#include "core/platform.h"

namespace ks {

// A frame is processed at most once every 33 milliseconds.
inline constexpr uint32_t kFrameMs = 33;

// Milliseconds from `now` until the next frame's gate opens; 0 when open.
uint32_t TimeToNextFrame(const EngineState& state, uint32_t now);

// One call of the frame update. Returns false at once while the gate is
// closed; otherwise processes the frame and returns true. A fade frame steps
// the fade on the visible picture and reads no key; any other frame takes
// the frame's keys, lets them act on the current screen, and shows the
// picture that screen composes.
bool UpdateFrame(EngineState& state, Platform& platform);

// Whether the next frame would change something without any input: a fade,
// skip or auto mode goes on, a mark is to go, or the screen is not up to date.
bool NeedsFrame(const EngineState& state);

// The back buffer becomes the visible surface and is shown.
void Flip(EngineState& state, Platform& platform);

}  // namespace ks

// The frame update: pacing, the fade, the keyboard, and the picture of the
// text page, the system menu or the choice list.
#pragma once

#include <cstdint>

#include "engine/engine_state.h"
#include "platform/platform.h"

namespace ks {

// A frame is processed at most once every 33 milliseconds.
inline constexpr uint32_t kFrameMs = 33;

// Milliseconds from `now` until the next frame's gate opens; 0 when open.
uint32_t TimeToNextFrame(const EngineState& state, uint32_t now);

// One call of the frame update. Returns false at once while the gate is
// closed; otherwise processes the frame (a fade step, or a freshly composed
// picture that is then flipped) and returns true.
bool UpdateFrame(EngineState& state, Platform& platform);

// The back buffer becomes the visible surface and is shown.
void Flip(EngineState& state, Platform& platform);

// Opens the menu font (16 pixels, heaviest, fixed pitch) and the page font
// (16 pixels, regular). Returns false with a reason when there is no
// Japanese font.
bool OpenFonts(EngineState& state, std::string* error);

}  // namespace ks

// Composing a frame: the background copied onto the back buffer, the scene
// drawn over it. The copy is taken lazily, at the latest when the scene is
// drawn and at the earliest when a picture is about to replace the
// background during the frame, so the frame always shows the background it
// started from.
#pragma once

#include "core/engine_state.h"
#include "present/scene.h"

namespace ks {

// Starts composing a frame; its scene records the current background.
Scene BeginFrame(DisplayState& display);

// Called before the background surface changes: a frame being composed
// keeps the background it started from.
void SaveFrameBackground(DisplayState& display);

// Draws `scene` on the back buffer and ends the frame. Returns false, with
// no pixel touched, when the screen already shows exactly this scene.
bool ComposeFrame(EngineState& state, Scene scene);

// Ends a frame that is not shown (a load from the menu ends its frame).
void AbandonFrame(DisplayState& display);

}  // namespace ks

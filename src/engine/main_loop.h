// Start-up, the main loop and shutdown, shared by the player and the replay
// tool so that the two run a story the same way.
#pragma once

#include <string>

#include "core/engine_state.h"
#include "core/platform.h"

namespace ks {

// Start-up once the platform (window or headless) exists: the script and its
// label index, the fonts, then the first page over the platform's audio
// device. Returns false with a reason when there is no script or no
// Japanese font.
bool StartUp(EngineState& state, Platform& platform, std::string* error);

// StartUp's two halves: what needs no platform (and may be done while the
// display opens), and the first page.
bool PrepareStory(EngineState& state, std::string* error);
void BeginStory(EngineState& state, Platform& platform);

// One turn of the main loop: a waiting message first (quit, or a playback
// notice for the sound channels), a frame otherwise. While the next frame's
// gate is closed it waits for a message or the gate instead of spinning.
// Returns false when the loop has ended: on the quit message, or when the
// story or the menu asked to quit.
bool MainLoopStep(EngineState& state, Platform& platform);

// Lets go of what start-up opened.
void ShutDown(EngineState& state);

}  // namespace ks

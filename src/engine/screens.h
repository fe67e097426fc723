// What the story's keys do on each screen: the text page with its notices,
// the system menu, and the choice list.
#pragma once

#include "core/engine_state.h"
#include "core/intents.h"
#include "present/scene.h"

namespace ks {

// Runs one composed frame's story screen: the frame's intents act on the
// screen `uiMode` names as the frame begins (a change made here shows from
// the next frame), and what the screen shows goes into `scene` at the moment
// it is drawn. Returns false when the frame ends without being shown (after
// a load from the menu).
bool HandleKeys(EngineState& state, const Intents& intents, Scene& scene);

}  // namespace ks

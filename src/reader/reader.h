// What the player adds for its readers, beside the story's own rules: the
// mouse, the volume, screenshots and the help. None of it changes what the
// story's keys do: a click or a wheel notch is turned into the key the reader
// means before the frame's screen sees the keys, and the marks are drawn over
// the picture only while they show.
#pragma once

#include <cstdint>
#include <string>

#include "core/engine_state.h"
#include "core/platform.h"
#include "present/scene.h"

namespace ks {

// Takes the frame's reader keys and mouse before the screen sees its keys:
// changes the volume, takes a screenshot, opens and closes the help, and
// turns clicks and the wheel into the story's keys. `now` is the frame's time.
void TakeReaderInput(EngineState& state, FrameKeys& keys, uint32_t now);

// Escape closes a reader's screen. Returns false when none was open.
bool CloseReaderScreen(EngineState& state);

// The marks that show at `now`, over the screen's scene.
void AddReaderOverlays(Scene& scene, EngineState& state, uint32_t now);

// The story's keys held now do nothing more until released: the key that
// closed a reader's screen (the help, the backlog) only closed it.
void SwallowHeldKeys(ReaderState& reader, FrameKeys& keys);

// Whether a mark shown until `until` still shows at `now` (the clock wraps).
inline bool StillShowing(uint32_t now, uint32_t until) { return int32_t(until - now) > 0; }

// Tells the audio device the volume the settings give.
void ApplyVolume(EngineState& state);

}  // namespace ks

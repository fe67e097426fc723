// What the player adds for its readers, beside the story's own rules: the
// mouse, the volume, screenshots and the help. None of it changes what the
// story's keys do: a click or a wheel notch is turned into the key the reader
// means before the frame's screen sees the keys, and the marks are drawn over
// the picture only while they show.
#pragma once

#include <cstdint>
#include <string>

#include "core/engine_state.h"
#include "core/intents.h"
#include "core/platform.h"
#include "present/scene.h"

namespace ks {

// How a reader's screen took the frame's intents.
enum class ScreenTurn : uint8_t {
  kNotUp,     // not up (or up and it took the input): the frame goes on
  kClosed,    // it closed at this input, which does nothing else; the keys held
              // now do nothing until released
  kTookFrame, // up: it drew the frame, the story's screen waits, and the keys
              // held now act again when pressed again
};

// Hidden text: while it is hidden, any key or click shows it again and does
// nothing else.
ScreenTurn HiddenText(EngineState& state, Intents& intents, Scene& scene);

// The reader's own controls, on every screen: the volume, screenshots, and
// the switches of reading (speech, the clipboard, the backdrop, hiding the
// text). Never up.
ScreenTurn ReaderControls(EngineState& state, Intents& intents, Scene& scene);

// The help: opens at its key, and while it shows takes every intent; the
// story's screen shows under it.
ScreenTurn HelpScreen(EngineState& state, Intents& intents, Scene& scene);

// Escape closes a reader's screen. Returns false when none was open.
bool CloseReaderScreen(EngineState& state);

// The marks that show at `now`, over the screen's scene.
void AddReaderOverlays(Scene& scene, EngineState& state, uint32_t now);

// Whether a mark shown until `until` still shows at `now` (the clock wraps).
inline bool StillShowing(uint32_t now, uint32_t until) { return int32_t(until - now) > 0; }

// Tells the audio device the volume the settings give.
void ApplyVolume(EngineState& state);

}  // namespace ks

// Reading for readers who do not read the picture: each page's text, when it
// shows, is spoken and put on the clipboard; a choice list is spoken as its
// rows numbered, the menu row by row as the cursor moves, a notice as it
// comes. A new page cuts off what was being said. The reader's switches for
// these (V, Shift+C), for the backdrop behind the text and for hiding it are
// taken here too. Nothing here changes what the story's keys do.
#pragma once

#include <cstdint>
#include <string>

#include "core/engine_state.h"
#include "core/intents.h"
#include "present/scene.h"

namespace ks {

// Code page 932 text as it is read: UTF-8, a line break at each CR, LF or
// CR LF, "&x" read as x and "&&" as "&"; a byte that is no character is left out.
std::string ReadableText(const std::string& bytes);

// The switches pressed this frame: speech, the clipboard, the backdrop, and
// hiding the text. `now` is the frame's time.
void TakeReadingSwitches(EngineState& state, const Intents& intents, uint32_t now);

// After the story's screen has built `scene`: reads out what came since the
// last frame, and draws the text with its backdrop, or hides it.
void ReadOutFrame(EngineState& state, Scene& scene);

// A switch's mark while it shows.
void AddReadingMarks(Scene& scene, EngineState& state, uint32_t now);

}  // namespace ks

// Putting a picture file onto a surface.
#pragma once

#include <string>

#include "core/engine_state.h"
#include "present/bmp_decode.h"
#include "core/surface.h"

namespace ks {

// Loads the bitmap file `fileName` from the story folder onto `target` at
// (0, 0), unscaled and cut at the edges. A file that does not load leaves
// the surface as it was and returns false with the reason; the script's "@G"
// ignores it. The last picture decoded is kept: loading the same unchanged
// file again only draws it.
bool LoadBackground(EngineState& state, Surface& target, const char* fileName,
                    std::string* error = nullptr);

// Reads and decodes the picture file `fileName` ahead of its "@G", for the
// next load of the background to take (any load takes or drops it). False,
// and nothing kept, when the file does not load.
bool ReadPictureAhead(EngineState& state, const char* fileName);
// Lets a picture read ahead go (a guess that missed).
void DropPictureAhead(DisplayState& display);

}  // namespace ks

// The fade to black, one step a frame, in place on the visible surface.
#pragma once

#include "core/surface.h"

namespace ks {

// Darkens the 640 x 480 `screen` by one step. Returns 1 while the fade goes
// on and 0 once this step found no colour byte above 150 (the screen is now
// black).
int FadeStep(Surface& screen);

}  // namespace ks

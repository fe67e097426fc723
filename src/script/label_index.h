// The label index: where each label number's definition ends.
#pragma once

#include <cstdint>

#include "core/engine_state.h"

namespace ks {

// Fills `labelTable` from the script buffer and leaves `scriptPos` at 0.
void BuildLabelIndex(EngineState& state);

// The script position of label `number`: its table entry, or 0 (the start of
// the script) for a number outside 0 to 99.
uint32_t LabelPosition(const EngineState& state, int32_t number);

}  // namespace ks

#include "core/engine_state.h"

#include "present/font.h"

namespace ks {

// Here, where a Font is a complete type, so the record can own its fonts.
EngineState::EngineState() = default;
EngineState::~EngineState() = default;

}  // namespace ks

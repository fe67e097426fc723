#include "reader/story_run.h"

#include <cstring>

#include "reader/aids.h"
#include "script/interpreter.h"

namespace ks {

void RunStory(EngineState& state) {
  const uint32_t start = state.script.scriptPos;
  state.reader.runStart = start;
  std::memcpy(state.reader.runPageText, state.page.pageText, kPageBytes);
  state.reader.runPageLength = state.page.pageLength;
  RunScript(state);
  ++state.reader.runs;
  if (!state.script.interrupted) NoteRun(state, start);
}

}  // namespace ks

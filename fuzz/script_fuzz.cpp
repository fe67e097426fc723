// Random scripts: load, index, then run the story as a reader would, taking
// choices, ending fades and returning to the title, checking that every
// field the interpreter writes stays inside its limits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/engine_state.h"
#include "fuzz_support.h"
#include "script/interpreter.h"
#include "script/script_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckLimits(const ks::EngineState& s) {
  Check(s.scriptPos <= s.scriptSize);
  Check(s.pageLength <= ks::kMaxPageLength);
  Check(s.uiMode >= 0 && s.uiMode <= ks::kMaxChoices);
  Check(std::memchr(s.backgroundFile, 0, sizeof s.backgroundFile) != nullptr);
  Check(std::memchr(s.bgmFile, 0, sizeof s.bgmFile) != nullptr);
  for (const auto& text : s.choiceTexts) Check(std::memchr(text, 0, sizeof text) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ks::EngineState& s = ks::fuzz::FreshEngine();
  ks::SetScript(s, std::vector<uint8_t>(data, data + size));
  ks::BuildLabelIndex(s);
  Check(s.scriptPos == 0);
  for (int turn = 0; turn < 64; ++turn) {
    ks::RunScript(s);
    CheckLimits(s);
    if (s.uiMode > 0) {  // take a choice picked by the input
      const int choice = size ? data[turn % size] % s.uiMode : 0;
      s.scriptPos = ks::LabelPosition(s, s.choiceTargets[choice]);
      s.uiMode = 0;
    } else if (s.titleNotice) {
      s.titleNotice = 0;
      s.scriptPos = 0;
    } else if (s.fadeActive) {
      s.fadeActive = 0;
    } else if (s.scriptPos >= s.scriptSize) {
      break;
    }
  }
  return 0;
}

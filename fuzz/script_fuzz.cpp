// Random scripts: load, index, then run the story as a reader would, taking
// choices, ending fades and returning to the title, checking that every
// field the interpreter writes stays inside its limits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/engine_state.h"
#include "fuzz_support.h"
#include "script/interpreter.h"
#include "script/label_index.h"
#include "script/script_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckLimits(const ks::EngineState& s) {
  Check(s.script.scriptPos <= s.script.scriptSize);
  Check(s.page.pageLength <= ks::kMaxPageLength);
  Check(s.screen.uiMode >= 0 && s.screen.uiMode <= ks::kMaxChoices);
  Check(std::memchr(s.assets.backgroundFile, 0, sizeof s.assets.backgroundFile) != nullptr);
  Check(std::memchr(s.assets.bgmFile, 0, sizeof s.assets.bgmFile) != nullptr);
  for (const auto& text : s.choices.choiceTexts) Check(std::memchr(text, 0, sizeof text) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ks::EngineState& s = ks::fuzz::FreshEngine();
  ks::SetScript(s, std::vector<uint8_t>(data, data + size));
  ks::BuildLabelIndex(s);
  Check(s.script.scriptPos == 0);
  for (int turn = 0; turn < 64; ++turn) {
    ks::RunScript(s);
    CheckLimits(s);
    if (s.screen.uiMode > 0) {  // take a choice picked by the input
      const int choice = size ? data[turn % size] % s.screen.uiMode : 0;
      s.script.scriptPos = ks::LabelPosition(s, s.choices.choiceTargets[choice]);
      s.screen.uiMode = 0;
    } else if (s.screen.titleNotice) {
      s.screen.titleNotice = 0;
      s.script.scriptPos = 0;
    } else if (s.screen.fadeActive) {
      s.screen.fadeActive = 0;
    } else if (s.script.scriptPos >= s.script.scriptSize) {
      break;
    }
  }
  return 0;
}

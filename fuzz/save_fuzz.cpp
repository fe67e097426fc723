// Random save files: a load must either refuse the file and change nothing,
// or leave names, page and position safe to use, and the story must run on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/engine_state.h"
#include "fuzz_support.h"
#include "save/save_file.h"
#include "script/interpreter.h"
#include "script/label_index.h"
#include "script/script_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ks::fuzz::StoryFolder() + "/DATA/save.txt";
  ks::fuzz::Memory().Put(path, std::vector<uint8_t>(data, data + size));

  ks::EngineState& s = ks::fuzz::FreshEngine();
  const char script[] = "@S1,first page@E@Mmusic.ogg,@Gpic.bmp,second@E@Cyes,1,no,2,@@R@Kthird@E";
  ks::SetScript(s, std::vector<uint8_t>(script, script + sizeof script - 1));
  ks::BuildLabelIndex(s);
  ks::RunScript(s);
  const ks::SaveRecord before = ks::MakeSaveRecord(s);

  std::string error;
  if (!ks::LoadGame(s, &error)) {
    Check(size < ks::kSaveFileBytes);
    const ks::SaveRecord after = ks::MakeSaveRecord(s);
    Check(std::memcmp(&before, &after, sizeof before) == 0);
    return 0;
  }
  Check(s.page.pageLength <= ks::kMaxPageLength);
  Check(s.script.scriptPos <= s.script.scriptSize);
  Check(std::memchr(s.assets.backgroundFile, 0, sizeof s.assets.backgroundFile) != nullptr);
  Check(std::memchr(s.assets.bgmFile, 0, sizeof s.assets.bgmFile) != nullptr);
  Check(std::memchr(s.page.pageText, 0, sizeof s.page.pageText) != nullptr);
  for (int turn = 0; turn < 4; ++turn) {
    ks::RunScript(s);
    Check(s.page.pageLength <= ks::kMaxPageLength);
    s.screen.uiMode = 0;
  }
  return 0;
}

#include "save/save_file.h"

#include <cstring>
#include <ctime>
#include <vector>

#include "core/file_io.h"
#include "core/story_path.h"
#include "present/background.h"
#include "sound/sound.h"

namespace ks {
namespace {

void PutU32(uint8_t (&out)[4], uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(v >> (8 * i));
}

uint32_t GetU32(const uint8_t (&in)[4]) {
  return uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) | (uint32_t(in[3]) << 24);
}

template <size_t N>
bool HasNul(const char (&field)[N]) {
  return std::memchr(field, '\0', N) != nullptr;
}

}  // namespace

SaveRecord MakeSaveRecord(const EngineState& state) {
  SaveRecord record;
  std::memcpy(record.backgroundFile, state.assets.backgroundFile, sizeof record.backgroundFile);
  std::memcpy(record.bgmFile, state.assets.bgmFile, sizeof record.bgmFile);
  PutU32(record.pageLength, state.page.pageLength);
  PutU32(record.scriptPos, state.script.scriptPos);
  std::memcpy(record.pageText, state.page.pageText, sizeof record.pageText);
  return record;
}

bool SaveGame(EngineState& state, std::string* error) {
  if (state.storyReadOnly) {
    if (error) {
      *error = "cannot save: the story at " + state.storyRoot +
               " came with the player and is read-only; copy its folder to play it with saves";
    }
    return false;
  }
  const SaveRecord record = MakeSaveRecord(state);
  return ReplaceFile(StoryPath(state.storyRoot, kSaveFileName), reinterpret_cast<const uint8_t*>(&record),
                     sizeof record, error);
}

void RemoveStaleSaveTemporaries(const EngineState& state) {
  if (state.storyReadOnly) return;
  timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  RemoveStaleTemporaries(StoryPath(state.storyRoot, kSaveFileName), now);
}

bool LoadGame(EngineState& state, std::string* error) {
  return LoadGameFrom(state, StoryPath(state.storyRoot, kSaveFileName), error);
}

bool LoadGameFrom(EngineState& state, const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, size_t{1} << 20, &bytes, error)) return false;
  // Bytes past the record are not ours and are ignored.
  if (bytes.size() < sizeof(SaveRecord)) {
    if (error) *error = "cannot load " + path + ": it is not a save file (" + std::to_string(bytes.size()) + " bytes)";
    return false;
  }
  SaveRecord record;
  std::memcpy(&record, bytes.data(), sizeof record);

  // Names are passed to file calls and the page to the text drawing: each
  // must end inside its field, and the cursor inside the script.
  if (!HasNul(record.backgroundFile)) record.backgroundFile[kBackgroundNameBytes - 1] = '\0';
  if (!HasNul(record.bgmFile)) record.bgmFile[kBgmNameBytes - 1] = '\0';
  uint32_t pageLength = GetU32(record.pageLength);
  if (pageLength > kMaxPageLength) pageLength = kMaxPageLength;
  if (!HasNul(record.pageText)) record.pageText[pageLength] = '\0';
  uint32_t scriptPos = GetU32(record.scriptPos);
  if (scriptPos > state.script.scriptSize) scriptPos = state.script.scriptSize;

  std::memcpy(state.assets.backgroundFile, record.backgroundFile, sizeof state.assets.backgroundFile);
  std::memcpy(state.assets.bgmFile, record.bgmFile, sizeof state.assets.bgmFile);
  state.page.pageLength = pageLength;
  state.script.scriptPos = scriptPos;
  std::memcpy(state.page.pageText, record.pageText, sizeof state.page.pageText);

  LoadBackground(state, state.display.backgroundSurface, state.assets.backgroundFile);
  PlayBgm(state, state.assets.bgmFile);
  state.screen.cursor = 0;
  return true;
}

}  // namespace ks

// The script file: read whole, line feeds turned into commas, and fields
// read at the cursor with the C library's atol rule for numbers.
#include "script/script_file.h"

#include <filesystem>
#include <limits>

#include "core/file_io.h"
#include "core/story_path.h"

namespace ks {

bool LoadScript(EngineState& state, std::string* error) {
  // The cursor and the label positions are 32-bit, so the script must be
  // shorter than 4 GiB.
  std::vector<uint8_t> bytes;
  const size_t maxBytes = std::numeric_limits<uint32_t>::max() - 1;
  if (!ReadWholeFile(StoryPath(state.storyRoot, kScriptFileName), maxBytes, &bytes, error)) {
    return false;
  }
  SetScript(state, std::move(bytes));
  return true;
}

void SetScript(EngineState& state, std::vector<uint8_t> bytes) {
  for (uint8_t& b : bytes) {
    if (b == '\n') b = ',';
  }
  state.script.scriptBuffer = std::move(bytes);
  state.script.scriptSize = static_cast<uint32_t>(state.script.scriptBuffer.size());
}

void ReadField(EngineState& state, char* dest, size_t destSize) {
  const uint8_t* buf = state.script.scriptBuffer.data();
  size_t used = 0;
  while (state.script.scriptPos < state.script.scriptSize && buf[state.script.scriptPos] != ',') {
    if (used + 1 < destSize) dest[used++] = static_cast<char>(buf[state.script.scriptPos]);
    ++state.script.scriptPos;
  }
  if (destSize > 0) dest[used] = '\0';
  if (state.script.scriptPos < state.script.scriptSize) ++state.script.scriptPos;  // the comma
}

int32_t AtolRule(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > int64_t{1} << 32) value = int64_t{1} << 32;  // saturated below
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::string StoryRootFor(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  auto parent = [](const std::string& q) -> std::string {
    const std::filesystem::path fp(q);
    const std::string name = fp.filename().string();
    if (name == "." || name == ".." || q == "/") return q + "/..";
    const std::string up = fp.parent_path().string();
    return up.empty() ? "." : up;
  };
  if (IsRegularFile(p)) return parent(parent(p));
  if (FindStoryFile(p, kScriptFileName).found) return p;
  if (FindStoryFile(p, "Script.txt").found) return parent(p);
  return p;
}

}  // namespace ks

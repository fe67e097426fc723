// The label scan walks the buffer once, byte by byte. At an "@" it steps onto
// the next byte; if that is "S" it reads the number field and records the
// position after the field's comma. Then, in every case, it steps one byte
// more before the next test. That last step is why some definitions are never
// indexed, and stories rely on it: a definition whose "@" comes right after
// the comma of the definition the scan has just read, whatever its number
// (two definitions on consecutive lines, the line feed having become that
// comma; of three, the third is found again, since the second was never read
// as one), and "@@S..."
// (the scan steps over the byte after the first "@"). The scan does not know
// fields: "@S" inside a file name or a choice text defines a label too. A
// later definition of a number overwrites an earlier one. The interpreter
// steps over every definition alike at run time.
#include "script/script_file.h"

#include <limits>

#include "platform/file_io.h"
#include "platform/story_path.h"

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
  state.scriptBuffer = std::move(bytes);
  state.scriptSize = static_cast<uint32_t>(state.scriptBuffer.size());
}

void ReadField(EngineState& state, char* dest, size_t destSize) {
  const uint8_t* buf = state.scriptBuffer.data();
  size_t used = 0;
  while (state.scriptPos < state.scriptSize && buf[state.scriptPos] != ',') {
    if (used + 1 < destSize) dest[used++] = static_cast<char>(buf[state.scriptPos]);
    ++state.scriptPos;
  }
  if (destSize > 0) dest[used] = '\0';
  if (state.scriptPos < state.scriptSize) ++state.scriptPos;  // the comma
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

uint32_t LabelPosition(const EngineState& state, int32_t number) {
  if (number < 0 || number >= kLabelCount) return 0;
  return state.labelTable[static_cast<size_t>(number)];
}

void BuildLabelIndex(EngineState& state) {
  const uint8_t* buf = state.scriptBuffer.data();
  state.scriptPos = 0;
  while (state.scriptPos < state.scriptSize) {
    if (buf[state.scriptPos] == '@') {
      ++state.scriptPos;
      if (state.scriptPos < state.scriptSize && buf[state.scriptPos] == 'S') {
        ++state.scriptPos;
        char number[kNumberFieldBytes];
        ReadField(state, number, sizeof number);
        const int32_t n = AtolRule(number);
        // A number outside the table defines nothing.
        if (n >= 0 && n < kLabelCount) state.labelTable[static_cast<size_t>(n)] = state.scriptPos;
      }
    }
    ++state.scriptPos;
  }
  state.scriptPos = 0;
}

}  // namespace ks

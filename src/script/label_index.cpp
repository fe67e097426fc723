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
#include "script/label_index.h"

#include "script/script_file.h"

namespace ks {

uint32_t LabelPosition(const EngineState& state, int32_t number) {
  if (number < 0 || number >= kLabelCount) return 0;
  return state.script.labelTable[static_cast<size_t>(number)];
}

void BuildLabelIndex(EngineState& state) {
  const uint8_t* buf = state.script.scriptBuffer.data();
  state.script.scriptPos = 0;
  while (state.script.scriptPos < state.script.scriptSize) {
    if (buf[state.script.scriptPos] == '@') {
      ++state.script.scriptPos;
      if (state.script.scriptPos < state.script.scriptSize && buf[state.script.scriptPos] == 'S') {
        ++state.script.scriptPos;
        char number[kNumberFieldBytes];
        ReadField(state, number, sizeof number);
        const int32_t n = AtolRule(number);
        // A number outside the table defines nothing.
        if (n >= 0 && n < kLabelCount) state.script.labelTable[static_cast<size_t>(n)] = state.script.scriptPos;
      }
    }
    ++state.script.scriptPos;
  }
  state.script.scriptPos = 0;
}

}  // namespace ks

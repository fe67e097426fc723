// The story script: read whole, line feeds turned into commas, labels indexed,
// and fields read at the cursor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/engine_state.h"

namespace ks {

// The script's name inside the story folder.
inline constexpr const char* kScriptFileName = "DATA\\Script.txt";

// Reads DATA/Script.txt into `scriptBuffer` (exactly the file's bytes) and
// turns every line feed into a comma; carriage returns stay. Returns false and
// a reason when the file is missing, unreadable or 4 GiB or more.
bool LoadScript(EngineState& state, std::string* error);

// The story folder `path` names: a story folder itself, its DATA folder, or
// its DATA/Script.txt. A path that is none of these is returned as it is.
std::string StoryRootFor(const std::string& path);

// Makes `bytes` the script, turning line feeds into commas. Shorter than
// 4 GiB.
void SetScript(EngineState& state, std::vector<uint8_t> bytes);

// Copies the field at `scriptPos` (the bytes up to the next comma) into
// `dest`, NUL-terminated, and leaves `scriptPos` after that comma. Bytes that
// do not fit in `destSize` - 1 are skipped; a field that meets the end of the
// buffer ends there, with `scriptPos` at the end.
void ReadField(EngineState& state, char* dest, size_t destSize);

// The C library's atol rule on a NUL-terminated field: leading white space,
// an optional sign, decimal digits; 0 without digits. Saturates at the 32-bit
// range, as atol does with a 32-bit long.
int32_t AtolRule(const char* text);

}  // namespace ks

// Shift-JIS (code page 932) byte classes. Script bytes are never converted;
// this is only for code that must step over a double-byte character whole.
#pragma once

#include <cstdint>
#include <string>

namespace ks {

// A lead byte takes the byte after it into the same character. Half-width
// katakana (0xA1-0xDF) are single bytes.
constexpr bool IsSjisLeadByte(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Converts code page 932 bytes to UTF-8 (for file names and messages; script
// text itself is never converted). Returns false when they are not CP932.
bool Cp932ToUtf8(const std::string& bytes, std::string* utf8);

// Appends code point `u` to `out` as UTF-8.
void PutUtf8(uint32_t u, std::string* out);

// Whether `bytes` are well-formed UTF-8.
bool IsUtf8(const std::string& bytes);

// The code point of one CP932 code (one byte below 0x100, else lead << 8 |
// trail), or 0 when it is no character.
uint32_t Cp932ToUnicode(uint16_t code);

// The other way, for the player's own texts drawn with the story's fonts.
bool Utf8ToCp932(const std::string& utf8, std::string* bytes);

}  // namespace ks

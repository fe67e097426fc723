// CP932 <-> Unicode, as a table made at build time (tools/make_cp932_table.cpp)
// so that the core needs no converter of the machine it runs on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ks {

struct Cp932Pair {
  uint32_t from, to;
};

// The code point of each CP932 code (one byte below 0x100, else
// lead << 8 | trail), 0 where the code is no character: one look, as the
// file lookups and the font decode a name or a page a character at a time.
extern const uint16_t kCp932ToUnicode[0x10000];
// Sorted by `from`: code points to the CP932 code written for them.
extern const Cp932Pair kUnicodeToCp932[];
extern const size_t kUnicodeToCp932Count;

}  // namespace ks

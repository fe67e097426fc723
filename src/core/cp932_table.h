// CP932 <-> Unicode, as a table made at build time (tools/make_cp932_table.cpp)
// so that the core needs no converter of the machine it runs on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ks {

struct Cp932Pair {
  uint32_t from, to;
};

// Sorted by `from`: CP932 codes (one byte below 0x100, else lead << 8 | trail)
// to code points, and code points to the CP932 code written for them.
extern const Cp932Pair kCp932ToUnicode[];
extern const size_t kCp932ToUnicodeCount;
extern const Cp932Pair kUnicodeToCp932[];
extern const size_t kUnicodeToCp932Count;

}  // namespace ks

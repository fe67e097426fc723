// Copying a NUL-terminated name into a fixed field.
#pragma once

#include <cstddef>
#include <cstring>

namespace ks {

// Copies `src` into `dest[N]`, truncated to N - 1 bytes, always terminated.
template <size_t N>
void CopyName(char (&dest)[N], const char* src) {
  const size_t n = strnlen(src, N - 1);
  std::memcpy(dest, src, n);
  dest[n] = '\0';
}

}  // namespace ks

#include "core/sjis.h"

#include <algorithm>

#include "core/cp932_table.h"

namespace ks {
namespace {

uint32_t Find(const Cp932Pair* table, size_t count, uint32_t from) {
  const Cp932Pair* end = table + count;
  const Cp932Pair* at = std::lower_bound(table, end, from, [](const Cp932Pair& p, uint32_t v) { return p.from < v; });
  return at != end && at->from == from ? at->to : 0;
}


// The next code point of well-formed UTF-8 at `at` (no overlong forms, no
// surrogates, nothing above U+10FFFF); false at a malformed one.
bool NextUtf8(const std::string& s, size_t* at, uint32_t* u) {
  const auto b = [&](size_t i) { return uint8_t(s[i]); };
  const uint8_t lead = b(*at);
  int more = 0;
  uint32_t min = 0;
  if (lead < 0x80) {
    *u = lead, more = 0;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    *u = lead & 0x1F, more = 1, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    *u = lead & 0x0F, more = 2, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    *u = lead & 0x07, more = 3, min = 0x10000;
  } else {
    return false;
  }
  if (*at + size_t(more) >= s.size()) return false;
  for (int i = 1; i <= more; ++i) {
    const uint8_t c = b(*at + size_t(i));
    if ((c & 0xC0) != 0x80) return false;
    *u = (*u << 6) | (c & 0x3F);
  }
  if (*u < min || *u > 0x10FFFF || (*u >= 0xD800 && *u <= 0xDFFF)) return false;
  *at += size_t(more) + 1;
  return true;
}

}  // namespace

void PutUtf8(uint32_t u, std::string* out) {
  if (u < 0x80) {
    *out += char(u);
  } else if (u < 0x800) {
    *out += char(0xC0 | (u >> 6));
    *out += char(0x80 | (u & 0x3F));
  } else if (u < 0x10000) {
    *out += char(0xE0 | (u >> 12));
    *out += char(0x80 | ((u >> 6) & 0x3F));
    *out += char(0x80 | (u & 0x3F));
  } else {
    *out += char(0xF0 | (u >> 18));
    *out += char(0x80 | ((u >> 12) & 0x3F));
    *out += char(0x80 | ((u >> 6) & 0x3F));
    *out += char(0x80 | (u & 0x3F));
  }
}

uint32_t Cp932ToUnicode(uint16_t code) { return kCp932ToUnicode[code]; }

bool Cp932ToUtf8(const std::string& bytes, std::string* utf8) {
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    const auto b = uint8_t(bytes[i]);
    uint32_t u = b == 0 ? 0 : Cp932ToUnicode(b);
    size_t n = 1;
    if (b != 0 && u == 0) {
      if (i + 1 >= bytes.size()) return false;
      u = Cp932ToUnicode(uint16_t((b << 8) | uint8_t(bytes[i + 1])));
      n = 2;
      if (u == 0) return false;
    }
    PutUtf8(u, &out);
    i += n;
  }
  *utf8 = std::move(out);
  return true;
}

bool IsUtf8(const std::string& bytes) {
  uint32_t u = 0;
  for (size_t i = 0; i < bytes.size();) {
    if (!NextUtf8(bytes, &i, &u)) return false;
  }
  return true;
}

bool Utf8ToCp932(const std::string& utf8, std::string* bytes) {
  std::string out;
  uint32_t u = 0;
  for (size_t i = 0; i < utf8.size();) {
    if (!NextUtf8(utf8, &i, &u)) return false;
    const uint32_t code = u == 0 ? 0 : Find(kUnicodeToCp932, kUnicodeToCp932Count, u);
    if (u != 0 && code == 0) return false;
    if (code > 0xFF) out += char(code >> 8);
    out += char(code & 0xFF);
  }
  *bytes = std::move(out);
  return true;
}

}  // namespace ks

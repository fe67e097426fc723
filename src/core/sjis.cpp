#include "core/sjis.h"

#include <iconv.h>

namespace ks {

namespace {

bool Convert(const char* to, const char* from, const std::string& bytes, std::string* converted) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(bytes.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1) && inLeft == 0;
  iconv_close(cd);
  if (ok) *converted = out.substr(0, out.size() - outLeft);
  return ok;
}

}  // namespace

bool Cp932ToUtf8(const std::string& bytes, std::string* utf8) { return Convert("UTF-8", "CP932", bytes, utf8); }

bool IsUtf8(const std::string& bytes) {
  std::string same;
  return Convert("UTF-8", "UTF-8", bytes, &same);
}

bool Utf8ToCp932(const std::string& utf8, std::string* bytes) { return Convert("CP932", "UTF-8", utf8, bytes); }

}  // namespace ks

#include "engine/sjis.h"

#include <iconv.h>

namespace ks {

bool Cp932ToUtf8(const std::string& bytes, std::string* utf8) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(bytes.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1) && inLeft == 0;
  iconv_close(cd);
  if (ok) *utf8 = out.substr(0, out.size() - outLeft);
  return ok;
}

}  // namespace ks

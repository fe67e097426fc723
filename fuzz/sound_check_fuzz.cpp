// Random sound files: the header check accepts or refuses them, never reads
// out of bounds, and a refusal always says why.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sound/sound_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string why;
  if (!ks::CheckSoundBytes(data, size, &why) && why.empty()) std::abort();
  return 0;
}

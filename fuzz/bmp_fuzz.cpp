// Random bitmap files: the decoder refuses them or decodes them, never reads
// or writes out of bounds, and never allocates more than the limits allow.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "present/bmp_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ks::Image image;
  std::string error;
  if (ks::DecodeBmp(data, size, &image, &error)) {
    if (image.width <= 0 || image.height <= 0 || image.width > ks::kMaxBitmapSide ||
        image.pixels.size() != size_t(image.width) * size_t(image.height)) {
      std::abort();
    }
  } else if (error.empty()) {
    std::abort();  // a refusal always says why
  }
  return 0;
}

// Reading the reference pictures of the tests and the benchmarks.
#pragma once

#include <string>

#include "present/bmp_decode.h"

namespace ks::test {

// Reads any PNG as 0x00RRGGBB (alpha dropped, 16-bit cut to 8); false with a reason.
bool ReadPng(const std::string& path, Image* image, std::string* error);

}  // namespace ks::test

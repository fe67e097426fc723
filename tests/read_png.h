// Reading the reference pictures of the tests and the benchmarks.
#pragma once

#include <string>

#include "present/bmp_decode.h"

namespace ks::test {

// Reads any PNG as 0x00RRGGBB pixels (alpha dropped, grey and palettes
// expanded, 16-bit channels cut to 8). Returns false with a reason.
bool ReadPng(const std::string& path, Image* image, std::string* error);

}  // namespace ks::test

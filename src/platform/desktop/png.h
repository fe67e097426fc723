// PNG files for screenshots, through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "present/bmp_decode.h"
#include "core/surface.h"

namespace ks {

// Writes `surface` as an 8-bit RGB PNG. Returns false with a reason.
bool WritePng(const std::string& path, const Surface& surface, std::string* error);
// The bytes of that PNG file; false when libpng cannot make them.
bool EncodePng(const Surface& surface, std::vector<uint8_t>* bytes);
// Reads a PNG of at most `maxPixels` into `picture`. Returns false with a reason.
bool ReadPng(const std::string& path, size_t maxPixels, Surface* picture, std::string* error);

}  // namespace ks

// PNG files for the headless platform's screenshots and the tests' reference
// pictures, through libpng.
#pragma once

#include <string>

#include "present/bmp_decode.h"
#include "core/surface.h"

namespace ks {

// Writes `surface` as an 8-bit RGB PNG. Returns false with a reason.
bool WritePng(const std::string& path, const Surface& surface, std::string* error);

// Reads any PNG as 0x00RRGGBB pixels (alpha dropped, grey and palettes
// expanded, 16-bit channels cut to 8). Returns false with a reason.
bool ReadPng(const std::string& path, Image* image, std::string* error);

}  // namespace ks

// PNG files for screenshots, through libpng.
#pragma once

#include <string>

#include "present/bmp_decode.h"
#include "core/surface.h"

namespace ks {

// Writes `surface` as an 8-bit RGB PNG, replacing the file whole (a new
// copy, flushed, renamed over it). Returns false with a reason.
bool WritePng(const std::string& path, const Surface& surface, std::string* error);
// Reads a PNG of at most `maxPixels` into `picture`. Returns false with a reason.
bool ReadPng(const std::string& path, size_t maxPixels, Surface* picture, std::string* error);

}  // namespace ks

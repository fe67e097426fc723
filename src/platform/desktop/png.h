// PNG files for screenshots, through libpng.
#pragma once

#include <string>

#include "present/bmp_decode.h"
#include "core/surface.h"

namespace ks {

// Writes `surface` as an 8-bit RGB PNG. Returns false with a reason.
bool WritePng(const std::string& path, const Surface& surface, std::string* error);

}  // namespace ks

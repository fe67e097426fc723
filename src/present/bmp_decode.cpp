// The pixels are decoded by SDL's bitmap reader, which needs no window. It
// trusts the header: it allocates whatever width and height the file claims
// before reading a single pixel. So the header is read here first, and a file
// whose picture cannot fit in its own bytes (or in the limits above) is
// refused before SDL sees it. RLE files are exempt from the size test (a few
// bytes of RLE can fill a large picture legitimately) but not from the limits.
#include "present/bmp_decode.h"

#include <SDL_error.h>
#include <SDL_pixels.h>
#include <SDL_rwops.h>
#include <SDL_surface.h>

#include <cstring>

namespace ks {
namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool Refuse(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6 };

constexpr size_t kFileHeaderBytes = 14;

// Refuses a header that is damaged, unsupported, too large, or that claims
// more pixel bytes than the file holds.
bool CheckHeader(const uint8_t* data, size_t size, std::string* error) {
  if (size < kFileHeaderBytes + 12) return Refuse(error, "too short to be a bitmap");
  if (data[0] != 'B' || data[1] != 'M') return Refuse(error, "not a Windows bitmap");
  const uint32_t infoBytes = U32(data + 14);
  if (infoBytes < 12 || infoBytes > size - kFileHeaderBytes) return Refuse(error, "damaged bitmap header");

  const uint8_t* info = data + kFileHeaderBytes;
  int64_t width = 0, height = 0;
  uint32_t bitCount = 0, compression = kRgb;
  if (infoBytes == 12) {  // the old OS/2 header: 16-bit sizes, never compressed
    width = U16(info + 4);
    height = U16(info + 6);
    bitCount = U16(info + 10);
  } else {
    if (infoBytes < 16) return Refuse(error, "damaged bitmap header");
    width = int32_t(U32(info + 4));
    height = int32_t(U32(info + 8));
    bitCount = U16(info + 14);
    if (infoBytes >= 20) compression = U32(info + 16);
  }
  if (height < 0) height = -height;  // top-down rows
  if (width <= 0 || height == 0) return Refuse(error, "the bitmap has no pixels");
  if (width > kMaxBitmapSide || height > kMaxBitmapSide || width * height > kMaxBitmapPixels) {
    return Refuse(error, "the bitmap is too large (" + std::to_string(width) + " x " +
                             std::to_string(height) + ")");
  }
  switch (bitCount) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32: break;
    default: return Refuse(error, "unsupported bits per pixel (" + std::to_string(bitCount) + ")");
  }
  switch (compression) {
    case kRle8: case kRle4: return true;
    case kRgb: case kBitfields: case kAlphaBitfields: break;
    default: return Refuse(error, "unsupported bitmap compression (" + std::to_string(compression) + ")");
  }
  // Rows are padded to 4 bytes; the last row may come without its padding.
  const int64_t rowBytes = (width * bitCount + 31) / 32 * 4;
  const int64_t needed = rowBytes * (height - 1) + (width * bitCount + 7) / 8;
  if (needed > int64_t(size - kFileHeaderBytes - infoBytes)) {
    return Refuse(error, "the file is shorter than its picture");
  }
  return true;
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Image* image, std::string* error) {
  if (size > kMaxBitmapFileBytes) return Refuse(error, "the file is too large");
  if (!CheckHeader(data, size, error)) return false;

  SDL_RWops* rw = SDL_RWFromConstMem(data, int(size));
  SDL_Surface* loaded = rw ? SDL_LoadBMP_RW(rw, /*freesrc=*/1) : nullptr;
  if (!loaded) return Refuse(error, SDL_GetError());
  // Converted straight into the image. A plain copy, not a blend: the fourth
  // byte of a 32-bit bitmap is not alpha, and only the colour is kept.
  Image out;
  out.width = loaded->w;
  out.height = loaded->h;
  out.pixels.resize(size_t(loaded->w) * size_t(loaded->h));
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormatFrom(out.pixels.data(), out.width, out.height, 32,
                                                           out.width * 4, SDL_PIXELFORMAT_XRGB8888);
  SDL_SetSurfaceBlendMode(loaded, SDL_BLENDMODE_NONE);
  const bool copied = target && SDL_BlitSurface(loaded, nullptr, target, nullptr) == 0;
  SDL_FreeSurface(target);
  SDL_FreeSurface(loaded);
  if (!copied) return Refuse(error, SDL_GetError());
  for (uint32_t& pixel : out.pixels) pixel &= 0x00FFFFFF;
  *image = std::move(out);
  return true;
}

}  // namespace ks

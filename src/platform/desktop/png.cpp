#include "platform/desktop/png.h"

#include <png.h>

#include <vector>

#include "platform/desktop/desktop_machine.h"

namespace ks {
namespace {

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool WritePng(const std::string& path, const Surface& surface, std::string* error) {
  // Encoded in memory, then written as any reader's file is: whole or not at all.
  std::vector<uint8_t> rgb(surface.pixels.size() * 3);
  for (size_t i = 0; i < surface.pixels.size(); ++i) {
    rgb[i * 3] = uint8_t(surface.pixels[i] >> 16);
    rgb[i * 3 + 1] = uint8_t(surface.pixels[i] >> 8);
    rgb[i * 3 + 2] = uint8_t(surface.pixels[i]);
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = png_uint_32(surface.width);
  png.height = png_uint_32(surface.height);
  png.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  std::vector<uint8_t> bytes;
  if (png_image_write_get_memory_size(png, size, 0, rgb.data(), 0, nullptr)) {
    bytes.resize(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, rgb.data(), 0, nullptr)) size = 0;
  }
  if (size == 0) return Fail(error, "cannot write " + path + ": " + (png.message[0] ? png.message : "no picture"));
  return desktop::ReplaceFile(path, bytes.data(), size, error);
}

bool ReadPng(const std::string& path, size_t maxPixels, Surface* picture, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!desktop::ReadWholeFile(path, maxPixels * 4 + 4096, &bytes, error)) return false;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
    return Fail(error, "cannot read " + path + ": " + png.message);
  }
  if (size_t(png.width) * png.height > maxPixels || png.width == 0) {
    png_image_free(&png);
    return Fail(error, "cannot read " + path + ": the picture is too large");
  }
  png.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) {
    return Fail(error, "cannot read " + path + ": " + png.message);
  }
  Surface out(int(png.width), int(png.height));
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    out.pixels[i] = (uint32_t{rgb[i * 3]} << 16) | (uint32_t{rgb[i * 3 + 1]} << 8) | rgb[i * 3 + 2];
  }
  *picture = std::move(out);
  return true;
}

}  // namespace ks

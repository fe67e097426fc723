#include "platform/desktop/png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/desktop/desktop_machine.h"

namespace ks {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool WritePng(const std::string& path, const Surface& surface, std::string* error) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) return Fail(error, "cannot write " + path + ": " + std::strerror(errno));
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return Fail(error, "cannot write " + path + ": out of memory");
  }
  std::vector<png_byte> row(size_t(surface.width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return Fail(error, "cannot write " + path);
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, png_uint_32(surface.width), png_uint_32(surface.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < surface.height; ++y) {
    const uint32_t* src = surface.Row(y);
    for (int x = 0; x < surface.width; ++x) {
      row[size_t(x) * 3 + 0] = png_byte(src[x] >> 16);
      row[size_t(x) * 3 + 1] = png_byte(src[x] >> 8);
      row[size_t(x) * 3 + 2] = png_byte(src[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0) return Fail(error, "cannot write " + path + ": " + std::strerror(errno));
  return true;
}

bool EncodePng(const Surface& surface, std::vector<uint8_t>* bytes) {
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
  if (!png_image_write_get_memory_size(png, size, 0, rgb.data(), 0, nullptr)) return false;
  bytes->resize(size);
  if (!png_image_write_to_memory(&png, bytes->data(), &size, 0, rgb.data(), 0, nullptr)) return false;
  bytes->resize(size);
  return true;
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

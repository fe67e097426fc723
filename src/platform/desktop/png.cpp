#include "platform/desktop/png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

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

}  // namespace ks

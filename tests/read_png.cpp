#include "read_png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace ks::test {
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

bool ReadPng(const std::string& path, Image* image, std::string* error) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return Fail(error, "cannot read " + path + ": " + std::strerror(errno));
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return Fail(error, "cannot read " + path + ": out of memory");
  }
  Image out;
  std::vector<png_byte> data;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return Fail(error, "cannot read " + path + ": not a PNG file");
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out.width = int(png_get_image_width(png, info));
  out.height = int(png_get_image_height(png, info));
  const size_t rowBytes = png_get_rowbytes(png, info);
  data.resize(rowBytes * size_t(out.height));
  for (int y = 0; y < out.height; ++y) rows.push_back(data.data() + rowBytes * size_t(y));
  png_read_image(png, rows.data());
  out.pixels.resize(size_t(out.width) * size_t(out.height));
  for (int y = 0; y < out.height; ++y) {
    uint32_t* dest = out.pixels.data() + size_t(y) * size_t(out.width);
    for (int x = 0; x < out.width; ++x) {
      const png_byte* p = rows[size_t(y)] + size_t(x) * 3;
      dest[x] = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  *image = std::move(out);
  return true;
}

}  // namespace ks::test

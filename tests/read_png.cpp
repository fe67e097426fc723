#include "read_png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace ks::test {
namespace {

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool ReadPng(const std::string& path, Image* image, std::string* error) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
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
  for (size_t i = 0; i + 2 < data.size(); i += 3) {  // rows of RGB, unpadded
    out.pixels.push_back((uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2]);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  *image = std::move(out);
  return true;
}

}  // namespace ks::test

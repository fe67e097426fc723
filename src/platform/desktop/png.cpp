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

}  // namespace ks

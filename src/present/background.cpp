#include "present/background.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/file_io.h"
#include "platform/story_path.h"
#include "present/compose.h"

namespace ks {
namespace {

// Copies `image` unscaled to (0, 0) of `target`, cut at the target's edges;
// pixels outside the image keep what they were.
void BlitImage(Surface& target, const Image& image) {
  const int width = std::min(image.width, target.width);
  const int height = std::min(image.height, target.height);
  for (int y = 0; y < height; ++y) {
    std::memcpy(target.Row(y), image.pixels.data() + size_t(y) * size_t(image.width),
                size_t(width) * sizeof(uint32_t));
  }
}

// The last picture decoded and the file it came from. A story that shows
// the same picture again and again (a run of "@G" before the first page)
// reads and decodes it once; a file changed since (its size, time or
// identity) is decoded anew. Kept for the process, as a decode is a pure
// function of the file.
struct LastPicture {
  std::string path;
  struct stat file {};
  Image image;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The decoded picture at `path`, from the last one when the file is unchanged.
const Image* DecodedPicture(const std::string& path, std::string* error) {
  static LastPicture last;
  struct stat file {};
  const bool known = stat(path.c_str(), &file) == 0;
  if (known && !last.path.empty() && last.path == path && SameFile(last.file, file)) return &last.image;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, kMaxBitmapFileBytes, &bytes, error)) return nullptr;
  Image image;
  std::string why;
  if (!DecodeBmp(bytes.data(), bytes.size(), &image, &why)) {
    if (error) *error = "cannot load the picture " + path + ": " + why;
    return nullptr;
  }
  // The file's state is taken before the read: one written meanwhile
  // differs from it next time.
  last = {known ? path : std::string(), file, std::move(image)};
  return &last.image;
}

}  // namespace

bool LoadBackground(EngineState& state, Surface& target, const char* fileName, std::string* error) {
  const std::string path = StoryPath(state.storyRoot, fileName);
  const Image* image = DecodedPicture(path, error);
  if (!image) return false;
  if (&target == &state.display.backgroundSurface) {
    SaveFrameBackground(state.display);  // a frame being composed keeps the old picture
    ++state.display.backgroundGeneration;
  }
  BlitImage(target, *image);
  return true;
}

}  // namespace ks

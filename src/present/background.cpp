#include "present/background.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "core/file_io.h"
#include "core/story_path.h"
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

// Reads and decodes the picture file at `path`.
bool ReadPicture(const std::string& path, Image* image, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, kMaxBitmapFileBytes, &bytes, error)) return false;
  std::string why;
  if (DecodeBmp(bytes.data(), bytes.size(), image, &why)) return true;
  if (error) *error = "cannot load the picture " + path + ": " + why;
  return false;
}

}  // namespace

// A story that shows the same picture again and again (a run of "@G" before
// the first page) reads and decodes it once: while the background still
// holds the picture drawn from the same unchanged file, drawing it again
// would change no pixel. A file changed since (its size, time or identity)
// is decoded anew.
bool LoadBackground(EngineState& state, Surface& target, const char* fileName, std::string* error) {
  DisplayState& display = state.display;
  const bool background = &target == &display.backgroundSurface;
  const std::string path = StoryPath(state.storyRoot, fileName);
  std::array<uint64_t, 5> stamp{};
  const bool known = FileStamp(path, &stamp);
  const bool holdsIt = background && known && path == display.picturePath && stamp == display.pictureStamp &&
                       display.pictureGeneration == display.backgroundGeneration;
  const bool readAhead = background && known && path == display.aheadPath && stamp == display.aheadStamp;
  Image image;
  if (!holdsIt && readAhead) {
    image = {display.aheadPicture.width, display.aheadPicture.height, std::move(display.aheadPicture.pixels)};
  }
  DropPictureAhead(display);
  if (!holdsIt && !readAhead && !ReadPicture(path, &image, error)) return false;
  if (background) {
    SaveFrameBackground(display);  // a frame being composed keeps the old picture
    ++display.backgroundGeneration;
    // The file's state is taken before the read: one written meanwhile
    // differs from it next time.
    display.picturePath = known ? path : std::string();
    display.pictureStamp = stamp;
    display.pictureGeneration = display.backgroundGeneration;
  }
  if (!holdsIt) BlitImage(target, image);
  return true;
}

bool ReadPictureAhead(EngineState& state, const char* fileName) {
  DisplayState& display = state.display;
  DropPictureAhead(display);
  const std::string path = StoryPath(state.storyRoot, fileName);
  Image image;
  if (!FileStamp(path, &display.aheadStamp) || !ReadPicture(path, &image, nullptr)) return false;
  display.aheadPicture.width = image.width;
  display.aheadPicture.height = image.height;
  display.aheadPicture.pixels = std::move(image.pixels);
  display.aheadPath = path;
  return true;
}

void DropPictureAhead(DisplayState& display) {
  display.aheadPicture = Surface();
  display.aheadPath.clear();
}

}  // namespace ks

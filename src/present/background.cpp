#include "present/background.h"

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

}  // namespace

bool LoadBackground(EngineState& state, Surface& target, const char* fileName, std::string* error) {
  std::vector<uint8_t> bytes;
  const std::string path = StoryPath(state.storyRoot, fileName);
  if (!ReadWholeFile(path, kMaxBitmapFileBytes, &bytes, error)) return false;
  Image image;
  std::string why;
  if (!DecodeBmp(bytes.data(), bytes.size(), &image, &why)) {
    if (error) *error = "cannot load the picture " + path + ": " + why;
    return false;
  }
  if (&target == &state.display.backgroundSurface) {
    SaveFrameBackground(state.display);  // a frame being composed keeps the old picture
    ++state.display.backgroundGeneration;
  }
  BlitImage(target, image);
  return true;
}

}  // namespace ks

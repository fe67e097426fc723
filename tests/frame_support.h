// Frame tests run whole stories through the player's own start-up and main
// loop on the headless platform, one processed frame at a time.
#pragma once

#include <string>

#include "engine/engine_state.h"
#include "engine/main_loop.h"
#include "platform/headless/headless_platform.h"
#include "test_support.h"

namespace ks::test {

class FrameTest : public ::testing::Test {
 protected:
  // Writes `script` into the story folder and starts the player on it.
  void Start(const std::string& script);
  // Starts the player on the story folder as it is.
  void StartStory();
  // Runs the main loop until one more frame is processed with `keys` held
  // ("." none, or letters as the replay tool takes them). Returns false when
  // the loop ended instead.
  bool Frame(const std::string& keys = ".");
  // Runs `count` frames with the same keys.
  void Frames(int count, const std::string& keys = ".");
  // A pixel of the visible picture.
  uint32_t Shown(int x, int y) const { return state_.display.primarySurface.Row(y)[x]; }
  // How many pixels of the visible picture inside `box` are `rgb`.
  int CountShown(const Rect& box, uint32_t rgb) const;

  TempStory story_;
  EngineState state_;
  HeadlessPlatform platform_;
};

// Plays the story in `root` headless with replay-tool key tokens and gives
// the picture on the screen after the last frame.
bool ReplayPicture(const std::string& root, const std::string& keys, Surface* picture, std::string* error);

}  // namespace ks::test

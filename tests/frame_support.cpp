#include "frame_support.h"

namespace ks::test {

void FrameTest::Start(const std::string& script) {
  story_.WriteScript(script);
  StartStory();
}

void FrameTest::StartStory() {
  state_.storyRoot = story_.root();
  std::string error;
  ASSERT_TRUE(StartUp(state_, platform_, &error)) << error;
}

bool FrameTest::Frame(const std::string& keys) {
  std::vector<KeyToken> parsed;
  std::string error;
  EXPECT_TRUE(ParseKeyTokens(keys, &parsed, &error)) << error;
  platform_.SetKeys(parsed.empty() ? KeyToken{} : parsed[0]);
  const uint64_t before = platform_.processed();
  while (platform_.processed() == before) {
    if (!MainLoopStep(state_, platform_)) return false;
  }
  return true;
}

void FrameTest::Frames(int count, const std::string& keys) {
  for (int i = 0; i < count; ++i) ASSERT_TRUE(Frame(keys));
}

int FrameTest::CountShown(const Rect& box, uint32_t rgb) const {
  int count = 0;
  for (int y = box.top; y < box.bottom; ++y) {
    for (int x = box.left; x < box.right; ++x) count += Shown(x, y) == rgb;
  }
  return count;
}

bool ReplayPicture(const std::string& root, const std::string& keys, Surface* picture, std::string* error) {
  std::vector<KeyToken> frames;
  if (!ParseKeyTokens(keys, &frames, error)) return false;
  EngineState state;
  state.storyRoot = root;
  HeadlessPlatform platform(frames);
  if (!StartUp(state, platform, error)) return false;
  while (platform.HasKeysLeft() && MainLoopStep(state, platform)) {
  }
  *picture = state.display.primarySurface;
  return true;
}

}  // namespace ks::test

// How closely the real player's loop keeps the 33 ms frame gate, under an X
// server: frame_pacing STORY_DIR [FRAMES]. Runs the player's own start-up
// and main loop on the SDL platform and times each processed frame. Down is
// held all along (it does nothing on a page), so that every frame is needed
// even by a loop that sleeps while a page waits; the run ends after FRAMES
// frames or after twice their time, whichever comes first. Prints one line
// for a reader and then "name value" lines for bench/player_bench.sh.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/engine_state.h"
#include "engine/main_loop.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/desktop/desktop_machine.h"

namespace {

class TimedPlatform : public ks::SdlPlatform {
 public:
  void FrameProcessed() override { times.push_back(Now()); }
  ks::FrameKeys TakeKeys() override {
    ks::FrameKeys keys = SdlPlatform::TakeKeys();
    keys.down = true;
    return keys;
  }
  static double Now() { return double(SDL_GetPerformanceCounter()) / double(SDL_GetPerformanceFrequency()); }
  std::vector<double> times;
};

}  // namespace

int main(int argc, char** argv) {
  ks::UseMachine(&ks::Desktop());  // this program's files and fonts are the desktop's
  if (argc < 2) {
    std::fprintf(stderr, "usage: frame_pacing STORY_DIR [FRAMES]\n");
    return 2;
  }
  const size_t frames = argc > 2 ? std::stoul(argv[2]) : 300;
  TimedPlatform platform;
  std::string error;
  ks::EngineState state;
  state.storyRoot = argv[1];
  if (!platform.Open(&state.reader.settings, &error) || !ks::StartUp(state, platform, &error)) {
    std::fprintf(stderr, "frame_pacing: %s\n", error.c_str());
    return 1;
  }
  const double end = TimedPlatform::Now() + double(frames) * 0.033 * 2 + 1;
  while (platform.times.size() < frames + 1 && TimedPlatform::Now() < end && ks::MainLoopStep(state, platform)) {
  }
  if (platform.times.size() < 2) {
    std::fprintf(stderr, "frame_pacing: fewer than two frames (the story ended, or the loop did not run)\n");
    return 1;
  }
  std::vector<double> late;  // how far each frame came after its gate opened
  for (size_t i = 1; i < platform.times.size(); ++i) late.push_back((platform.times[i] - platform.times[i - 1]) * 1000 - 33);
  std::sort(late.begin(), late.end());
  double sum = 0;
  for (double l : late) sum += l;
  std::printf("%zu frames: interval 33 ms %+.2f ms on average; median %+.2f, 99th percentile %+.2f, worst %+.2f ms\n",
              late.size(), sum / double(late.size()), late[late.size() / 2], late[late.size() * 99 / 100], late.back());
  std::printf("pacing_frames %zu\npacing_mean_ms %.3f\npacing_median_ms %.3f\npacing_p99_ms %.3f\npacing_worst_ms %.3f\n",
              late.size(), sum / double(late.size()), late[late.size() / 2], late[late.size() * 99 / 100], late.back());
  ks::ShutDown(state);
  platform.Close();
  return 0;
}

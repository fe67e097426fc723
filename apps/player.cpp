// kamishibai: plays the story in the working directory (DATA/Script.txt), or
// with --demo the demo story that comes with it.
#include <cstdio>
#include <string>

#include "engine/engine_state.h"
#include "engine/main_loop.h"
#include "ks_version.h"
#include "platform/install_paths.h"
#include "platform/sdl/sdl_platform.h"

int main(int argc, char** argv) {
  std::string storyRoot = ".";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--version") {
      std::printf("kamishibai %s\n", ks::kVersion);
      return 0;
    }
    if (arg == "--demo") {
      storyRoot = ks::FindDemoStory();
      if (storyRoot.empty()) {
        std::fprintf(stderr, "kamishibai: --demo: no demo story is installed beside this program\n");
        return 1;
      }
    }
  }
  ks::SdlPlatform platform;
  std::string error;
  if (!platform.Open(&error)) {
    std::fprintf(stderr, "kamishibai: %s\n", error.c_str());
    return 1;
  }
  ks::EngineState state;
  state.storyRoot = storyRoot;
  if (!ks::StartUp(state, platform, &error)) {
    platform.Close();  // the desktop comes back before the message
    std::fprintf(stderr, "kamishibai: %s\n", error.c_str());
    return 1;
  }
  ks::RunMainLoop(state, platform);
  ks::ShutDown(state);
  platform.Close();
  return 0;
}

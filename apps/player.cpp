// kamishibai: plays the story in the working directory (DATA/Script.txt).
// It reads no command line, environment or configuration of its own.
#include <cstdio>
#include <string>

#include "engine/engine_state.h"
#include "engine/main_loop.h"
#include "platform/sdl/sdl_platform.h"

int main() {
  ks::SdlPlatform platform;
  std::string error;
  if (!platform.Open(&error)) {
    std::fprintf(stderr, "kamishibai: %s\n", error.c_str());
    return 1;
  }
  ks::EngineState state;
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

// The reader's part of the engine's record.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "reader/settings.h"

namespace ks {

struct ReaderState {
  Settings settings;
  bool settingsChanged = false;  // to be written by the player
  bool helpShown = false;
  FrameKeys swallowed;  // story keys that closed the help: up until released
  bool leftButtonWasDown = false, rightButtonWasDown = false;
  uint32_t volumeMarkUntil = 0, shotMarkUntil = 0;  // times on the frame clock
  bool volumeMark = false, shotMark = false;
  std::string picturesFolder;  // where screenshots go; empty: the XDG pictures folder
};

}  // namespace ks

// The reader's settings as the player holds them (reader/settings.h reads
// and writes their file).
#pragma once

namespace ks {

struct Settings {
  bool fullScreen = true;
  int windowWidth = 640, windowHeight = 480;
  int windowX = -1, windowY = -1;  // -1: centred
  int volume = 100;                // percent
  bool muted = false;
  int autoDelayMs = 1500;          // auto mode: a page shows this long
  int autoCharMs = 50;             // and this much more per character

  bool operator==(const Settings&) const = default;
};

}  // namespace ks

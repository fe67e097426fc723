// The reader's settings as the player holds them (reader/settings.h reads
// and writes their file).
#pragma once

#include <string>

namespace ks {

// What stands behind the page's lines and the choices: nothing, a dark band,
// or a dark outline around each glyph.
enum TextBackdrop : int { kNoBackdrop, kBandBackdrop, kOutlineBackdrop };

struct Settings {
  bool fullScreen = true;
  int windowWidth = 640, windowHeight = 480;
  int windowX = -1, windowY = -1;  // -1: centred
  int volume = 100;                // percent
  bool muted = false;
  int autoDelayMs = 1500;          // auto mode: a page shows this long
  int autoCharMs = 50;             // and this much more per character
  bool speech = false;             // pages, choices, menu rows and notices spoken
  std::string speechCommand;       // speaks the UTF-8 on its stdin; "": speech-dispatcher
  bool clipboard = false;          // each page's text put on the clipboard
  int textBackdrop = kNoBackdrop;
  bool gamepadSwapAB = false;      // A cancels and B confirms

  bool operator==(const Settings&) const = default;
};

}  // namespace ks

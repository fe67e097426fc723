// The reader's settings, kept in $XDG_CONFIG_HOME/kamishibai/settings.ini as
// plain "key = value" lines. A damaged, partial or unreadable file costs only
// the keys it spoils; keys this version does not know are kept as they are.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace ks {

struct Settings {
  bool fullScreen = true;
  int windowWidth = 640, windowHeight = 480;
  int windowX = -1, windowY = -1;  // -1: centred
  int volume = 100;                // percent
  bool muted = false;
  int autoDelayMs = 1500;          // auto mode: a page shows this long
  int autoCharMs = 50;             // and this much more per character
  std::vector<std::array<std::string, 3>> unknown;  // section, key, value: kept for the next write

  bool operator==(const Settings&) const = default;
};

// The settings file's path.
std::string SettingsPath();

// Reads `path` over the defaults in `settings`. A missing file is no
// problem; otherwise what was ignored, and why, goes into `problems` as one
// line (empty when all was well).
void LoadSettings(const std::string& path, Settings* settings, std::string* problems);

// Writes `settings` to `path` atomically, making its folder if need be.
// Returns false with a reason.
bool SaveSettings(const std::string& path, const Settings& settings, std::string* error);

}  // namespace ks

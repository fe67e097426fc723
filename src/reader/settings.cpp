#include "reader/settings.h"

#include <ini.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file_io.h"
#include "platform/xdg.h"

namespace ks {
namespace {

struct Reading {
  Settings* settings;
  std::vector<std::string> ignored;
};

bool ParseInt(const char* text, int low, int high, int* out) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || value < low || value > high) return false;
  *out = int(value);
  return true;
}

bool ParseBool(const char* text, bool* out) {
  if (!std::strcmp(text, "true") || !std::strcmp(text, "1") || !std::strcmp(text, "yes")) return *out = true, true;
  if (!std::strcmp(text, "false") || !std::strcmp(text, "0") || !std::strcmp(text, "no")) return *out = false, true;
  return false;
}

int OnKey(void* user, const char* section, const char* name, const char* value) {
  auto& reading = *static_cast<Reading*>(user);
  Settings& s = *reading.settings;
  const std::string key = *section ? std::string(section) + "." + name : name;
  bool ok = true;
  if (key == "mode") {
    ok = !std::strcmp(value, "fullscreen") || !std::strcmp(value, "window");
    if (ok) s.fullScreen = !std::strcmp(value, "fullscreen");
  } else if (key == "window_width") {
    ok = ParseInt(value, 160, 16384, &s.windowWidth);
  } else if (key == "window_height") {
    ok = ParseInt(value, 120, 16384, &s.windowHeight);
  } else if (key == "window_x") {
    ok = ParseInt(value, -1, 65535, &s.windowX);
  } else if (key == "window_y") {
    ok = ParseInt(value, -1, 65535, &s.windowY);
  } else if (key == "volume") {
    ok = ParseInt(value, 0, 100, &s.volume);
  } else if (key == "muted") {
    ok = ParseBool(value, &s.muted);
  } else if (key == "auto_delay_ms") {
    ok = ParseInt(value, 0, 60000, &s.autoDelayMs);
  } else if (key == "auto_char_ms") {
    ok = ParseInt(value, 0, 1000, &s.autoCharMs);
  } else {
    s.unknown.push_back({section, name, value});
  }
  if (!ok) reading.ignored.push_back(key);
  return 1;  // go on with the next line
}

}  // namespace

std::string SettingsPath() { return ConfigFolder() + "/settings.ini"; }

void LoadSettings(const std::string& path, Settings* settings, std::string* problems) {
  problems->clear();
  std::vector<uint8_t> bytes;
  std::string error;
  if (access(path.c_str(), F_OK) != 0) return;  // none yet: the defaults
  if (!ReadWholeFile(path, 1 << 20, &bytes, &error)) {
    *problems = error + "; using the default settings";
    return;
  }
  Reading reading{settings, {}};
  const std::string text(bytes.begin(), bytes.end());
  const int badLine = ini_parse_string(text.c_str(), OnKey, &reading);
  std::string why;
  if (badLine > 0) why = "line " + std::to_string(badLine) + " is not \"key = value\"";
  for (const std::string& key : reading.ignored) why += (why.empty() ? "" : ", ") + ("a bad " + key);
  if (!why.empty()) *problems = "settings file " + path + ": ignored " + why;
}

bool SaveSettings(const std::string& path, const Settings& s, std::string* error) {
  std::string text =
      "# Kamishibai's settings, written by the player whenever one changes.\n"
      "# mode is fullscreen or window; the window's place is -1 when centred;\n"
      "# volume is 0 to 100; auto mode waits auto_delay_ms plus auto_char_ms a character.\n";
  auto line = [&](const std::string& key, const std::string& value) { text += key + " = " + value + "\n"; };
  line("mode", s.fullScreen ? "fullscreen" : "window");
  line("window_width", std::to_string(s.windowWidth));
  line("window_height", std::to_string(s.windowHeight));
  line("window_x", std::to_string(s.windowX));
  line("window_y", std::to_string(s.windowY));
  line("volume", std::to_string(s.volume));
  line("muted", s.muted ? "true" : "false");
  line("auto_delay_ms", std::to_string(s.autoDelayMs));
  line("auto_char_ms", std::to_string(s.autoCharMs));
  std::vector<std::array<std::string, 3>> unknown = s.unknown;  // keys of no section first
  std::stable_sort(unknown.begin(), unknown.end(), [](const auto& a, const auto& b) { return a[0] < b[0]; });
  std::string section;
  for (const auto& [unknownSection, key, value] : unknown) {
    if (unknownSection != section) text += "[" + (section = unknownSection) + "]\n";
    line(key, value);
  }
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
  return ReplaceFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size(), error);
}

}  // namespace ks

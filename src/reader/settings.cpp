// The file is kept as lines. libinih parses them, fed one line at a time, so
// that each key it reports is known by the line it came from; a write puts
// the new "key = value" on that line (or, for a key the file lacks, before
// its first section) and leaves every other line as it was. What libinih
// cannot take whole, a NUL byte or a line past its buffer, it is given as
// the line's key alone: a known key's value is then bad, and the line itself
// is kept for the next write either way.
#include "reader/settings.h"

#include <ini.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/file_io.h"
#include "core/xdg.h"

namespace ks {
namespace {

constexpr size_t kMaxSettingsBytes = 1 << 20;

struct KnownKey {
  const char* name;
  int Settings::*number;  // or, for "mode" and the switches:
  bool Settings::*flag;
  int low, high;
  const char* const* words = nullptr;  // a number's names, low to high
  std::string Settings::*text = nullptr;
};
constexpr const char* kBackdropWords[] = {"off", "band", "outline"};
constexpr KnownKey kKeys[] = {
    {"mode", nullptr, &Settings::fullScreen, 0, 0},
    {"window_width", &Settings::windowWidth, nullptr, 160, 16384},
    {"window_height", &Settings::windowHeight, nullptr, 120, 16384},
    {"window_x", &Settings::windowX, nullptr, -1, 65535},
    {"window_y", &Settings::windowY, nullptr, -1, 65535},
    {"volume", &Settings::volume, nullptr, 0, 100},
    {"muted", nullptr, &Settings::muted, 0, 0},
    {"auto_delay_ms", &Settings::autoDelayMs, nullptr, 0, 60000},
    {"auto_char_ms", &Settings::autoCharMs, nullptr, 0, 1000},
    {"speech", nullptr, &Settings::speech, 0, 0},
    {"speech_command", nullptr, nullptr, 0, 0, nullptr, &Settings::speechCommand},
    {"clipboard", nullptr, &Settings::clipboard, 0, 0},
    {"text_backdrop", &Settings::textBackdrop, nullptr, kNoBackdrop, kOutlineBackdrop, kBackdropWords},
    {"gamepad_swap_ab", nullptr, &Settings::gamepadSwapAB, 0, 0},
};
constexpr size_t kKeyCount = std::size(kKeys);

bool IsMode(const KnownKey& key) { return key.flag == &Settings::fullScreen; }

std::string ValueOf(const KnownKey& key, const Settings& s) {
  if (key.text) return s.*key.text;
  if (key.words) return key.words[s.*key.number - key.low];
  if (key.number) return std::to_string(s.*key.number);
  if (IsMode(key)) return s.*key.flag ? "fullscreen" : "window";
  return s.*key.flag ? "true" : "false";
}

bool Apply(const KnownKey& key, const char* text, Settings* s) {
  if (key.text) return s->*key.text = text, true;
  if (key.words) {
    for (int value = key.low; value <= key.high; ++value) {
      if (!std::strcmp(text, key.words[value - key.low])) return s->*key.number = value, true;
    }
    return false;
  }
  if (key.number) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < key.low || value > key.high) return false;
    s->*key.number = int(value);
    return true;
  }
  const char* yes[] = {"true", "1", "yes"};
  const char* no[] = {"false", "0", "no"};
  const bool mode = IsMode(key);
  for (int i = 0; i < (mode ? 1 : 3); ++i) {
    if (!std::strcmp(text, mode ? "fullscreen" : yes[i])) return s->*key.flag = true, true;
    if (!std::strcmp(text, mode ? "window" : no[i])) return s->*key.flag = false, true;
  }
  return false;
}

// A file as its lines (without their '\n'; the last is what follows the last
// '\n'), and where each known key was set.
struct Parsed {
  std::vector<std::string> lines;
  int keyLine[kKeyCount];  // the line that set it last, or -1
  size_t keysEnd = 0;      // where a key the file lacks goes
  std::vector<std::string> ignored;
  int badLine = 0;
};

struct Reading {
  Parsed* parsed;
  Settings* settings;
  size_t next = 0, current = 0;
};

char* FeedLine(char* out, int size, void* user) {
  auto& r = *static_cast<Reading*>(user);
  if (r.next >= r.parsed->lines.size() || size < 2) return nullptr;
  r.current = r.next++;
  // Fed without its leading blanks: libinih reads an indented line as more of
  // the value above it, so a line after one of ours would change our value.
  const std::string& whole = r.parsed->lines[r.current];
  const std::string line = whole.substr(std::min(whole.find_first_not_of(" \t\r\f\v"), whole.size()));
  const size_t room = size_t(size) - 2;  // for '\n' and the NUL
  size_t length = line.size();
  if (line.find('\0') != std::string::npos || length > room) {
    length = std::min(line.find('\0'), room);
    const size_t equals = line.find_first_of("=:");
    if (equals < length) length = equals + 1;  // the key alone
  }
  std::memcpy(out, line.data(), length);
  out[length] = '\n';
  out[length + 1] = '\0';
  return out;
}

int OnKey(void* user, const char* section, const char* name, const char* value) {
  auto& r = *static_cast<Reading*>(user);
  if (*section) return 1;  // ours have no section; others are only kept
  for (size_t i = 0; i < kKeyCount; ++i) {
    if (std::strcmp(name, kKeys[i].name) != 0) continue;
    r.parsed->keyLine[i] = int(r.current);
    if (!Apply(kKeys[i], value, r.settings)) r.parsed->ignored.push_back(name);
  }
  return 1;  // go on with the next line
}

void Parse(const std::string& text, Settings* settings, Parsed* parsed) {
  for (size_t start = 0;;) {
    const size_t end = text.find('\n', start);
    parsed->lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::fill(std::begin(parsed->keyLine), std::end(parsed->keyLine), -1);
  // Before the first section, and before a last line left empty by the
  // file's final '\n'.
  parsed->keysEnd = parsed->lines.size() - (parsed->lines.back().empty() ? 1 : 0);
  for (size_t i = 0; i < parsed->lines.size(); ++i) {
    const std::string& line = parsed->lines[i];
    const size_t first = line.find_first_not_of(" \t\r\f\v");
    if (first != std::string::npos && line[first] == '[') {
      parsed->keysEnd = i;
      break;
    }
  }
  Reading reading{parsed, settings};
  parsed->badLine = ini_parse_stream(FeedLine, &reading, OnKey, &reading);
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
  return text;
}

}  // namespace

std::string SettingsPath() {
  const std::string folder = ConfigFolder();
  return folder.empty() ? "" : folder + "/settings.ini";
}

bool LoadSettings(const std::string& path, Settings* settings, std::string* problems) {
  problems->clear();
  if (path.empty()) return false;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  RemoveStaleTemporaries(path, now);  // left by a write killed midway
  if (PathMissing(path)) return true;  // none yet: the defaults
  if (PathExists(path) && !IsRegularFile(path)) {
    *problems = "settings file " + path + " is not a regular file: the settings are neither read nor kept";
    return false;
  }
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadWholeFile(path, kMaxSettingsBytes, &bytes, &error)) {
    *problems = error + "; using the default settings and leaving the file as it is";
    return false;
  }
  Parsed parsed;
  Parse(std::string(bytes.begin(), bytes.end()), settings, &parsed);
  std::string why;
  if (parsed.badLine > 0) why = "line " + std::to_string(parsed.badLine) + " is not \"key = value\"";
  for (const std::string& key : parsed.ignored) why += (why.empty() ? "" : ", ") + ("a bad " + key);
  if (!why.empty()) *problems = "settings file " + path + ": ignored " + why;
  return true;
}

bool SaveSettings(const std::string& path, const Settings& before, const Settings& after, std::string* error) {
  if (path.empty()) {
    if (error) *error = "cannot keep the settings: there is no home folder (HOME is not set)";
    return false;
  }
  std::string text;
  if (PathMissing(path)) {
    text =
        "# Kamishibai's settings, written by the player whenever one changes.\n"
        "# mode is fullscreen or window; the window's place is -1 when centred;\n"
        "# volume is 0 to 100; auto mode waits auto_delay_ms plus auto_char_ms a character;\n"
        "# speech_command, when set, is run for each thing said, the text on its stdin;\n"
        "# text_backdrop is off, band or outline.\n";
    for (const KnownKey& key : kKeys) text += std::string(key.name) + " = " + ValueOf(key, after) + "\n";
  } else {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, kMaxSettingsBytes, &bytes, error)) {
      if (error) *error += "; the settings file is left as it is";
      return false;
    }
    Parsed parsed;
    Settings onDisk;
    Parse(std::string(bytes.begin(), bytes.end()), &onDisk, &parsed);
    bool changed = false;
    std::vector<std::string> added;  // after the lines are replaced, which keeps their places
    for (size_t i = 0; i < kKeyCount; ++i) {
      const std::string value = ValueOf(kKeys[i], after);
      if (value == ValueOf(kKeys[i], before)) continue;  // another player's, or as it was
      changed = true;
      const std::string line = std::string(kKeys[i].name) + " = " + value;
      if (parsed.keyLine[i] >= 0) {
        parsed.lines[size_t(parsed.keyLine[i])] = line;
      } else {
        added.push_back(line);
      }
    }
    if (!changed) return true;
    const auto at = parsed.lines.begin() + std::ptrdiff_t(parsed.keysEnd);
    parsed.lines.insert(at, added.begin(), added.end());
    if (!added.empty() && parsed.keysEnd + added.size() == parsed.lines.size()) {
      parsed.lines.push_back("");  // the file ends with a line end
    }
    text = Join(parsed.lines);
  }
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
  return ReplaceFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size(), error);
}

}  // namespace ks

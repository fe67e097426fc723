#include "reader/reader.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/report.h"
#include "core/sjis.h"
#include "core/file_io.h"
#include "core/xdg.h"
#include "reader/key_help.h"
#include "reader/read_out.h"
#include "reader/slots.h"
#include "reader/story_run.h"

namespace ks {
namespace {

constexpr uint32_t kVolumeMarkMs = 1000;
constexpr uint32_t kShotMarkMs = 1500;

void ChangeVolume(EngineState& state, const Intents& intents, uint32_t now) {
  Settings& s = state.reader.settings;
  const Settings before = s;
  const bool down = intents.Has(Intent::kVolumeDown), up = intents.Has(Intent::kVolumeUp);
  if (down) s.volume = std::max(0, (s.volume + 9) / 10 * 10 - 10);
  if (up) s.volume = std::min(100, s.volume / 10 * 10 + 10);
  if (down || up) s.muted = false;
  if (intents.Has(Intent::kMute)) s.muted = !s.muted;
  if (s == before && !down && !up) return;
  ApplyVolume(state);
  state.reader.settingsChanged = state.reader.settingsChanged || !(s == before);
  state.reader.volumeMark = true;
  state.reader.volumeMarkUntil = now + kVolumeMarkMs;
}

// The picture on the screen, as a PNG named for the moment it was taken.
void TakeScreenshot(EngineState& state, uint32_t now) {
  const std::string folder = state.reader.picturesFolder.empty() ? PicturesFolder() : state.reader.picturesFolder;
  if (folder.empty()) {
    Report("cannot save a screenshot: there is no home folder (HOME is not set)");
    return;
  }
  if (!MakeFolders(folder)) {
    Report("cannot save a screenshot in " + folder + ": " + std::strerror(errno));
    return;
  }
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
  std::string path = folder + "/kamishibai-" + stamp + ".png";
  for (int n = 2; PathExists(path) && n < 1000; ++n) {
    path = folder + "/kamishibai-" + stamp + "-" + std::to_string(n) + ".png";
  }
  std::string error;
  if (!WritePicture(path, state.display.primarySurface, &error)) {
    Report(error);
    return;
  }
  Report("screenshot " + path);
  state.reader.shotMark = true;
  state.reader.shotMarkUntil = now + kShotMarkMs;
}

const std::vector<std::string>& HelpLines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> out;
    for (const KeyHelp& row : KeyHelpRows()) {
      std::string bytes;
      if (Utf8ToCp932(row.shown, &bytes)) out.push_back(bytes);
    }
    return out;
  }();
  return lines;
}

}  // namespace

void ApplyVolume(EngineState& state) {
  if (state.sound.audio) state.sound.audio->SetVolume(state.reader.settings.muted ? 0 : state.reader.settings.volume);
}

ScreenTurn HiddenText(EngineState& state, Intents& intents, Scene&) {
  // Hidden text shows again at any key or click, which does nothing else.
  if (!state.reader.textHidden || !intents.AnyInput()) return ScreenTurn::kNotUp;
  state.reader.textHidden = false;
  intents = {};
  return ScreenTurn::kClosed;
}

ScreenTurn ReaderControls(EngineState& state, Intents& intents, Scene&) {
  const uint32_t now = state.screen.lastFrameTime;
  ChangeVolume(state, intents, now);
  if (intents.Has(Intent::kScreenshot)) TakeScreenshot(state, now);
  TakeReadingSwitches(state, intents, now);
  return ScreenTurn::kNotUp;
}

ScreenTurn HelpScreen(EngineState& state, Intents& intents, Scene&) {
  ReaderState& reader = state.reader;
  if (!reader.helpShown && !intents.Has(Intent::kHelp)) return ScreenTurn::kNotUp;
  // The help closes at any key or click, which does nothing else.
  const bool close = reader.helpShown && intents.AnyInput();
  reader.helpShown = !close;
  intents = {};
  return close ? ScreenTurn::kClosed : ScreenTurn::kNotUp;
}

bool CloseReaderScreen(EngineState& state) {
  ReaderState& reader = state.reader;
  if (CloseSlots(state)) return true;
  if (!reader.helpShown && reader.backlogShown < 0 && !reader.textHidden) return false;
  reader.helpShown = false;
  reader.textHidden = false;
  reader.backlogShown = -1;
  return true;
}

void AddReaderOverlays(Scene& scene, EngineState& state, uint32_t now) {
  ReaderState& reader = state.reader;
  reader.volumeMark = reader.volumeMark && StillShowing(now, reader.volumeMarkUntil);
  reader.shotMark = reader.shotMark && StillShowing(now, reader.shotMarkUntil);
  if (reader.helpShown) AddHelp(scene, HelpLines());
  if (reader.volumeMark) AddVolumeMark(scene, reader.settings.volume, reader.settings.muted);
  if (reader.shotMark) AddShotMark(scene);
  AddReadingMarks(scene, state, now);
}

}  // namespace ks

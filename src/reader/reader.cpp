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
#include "reader/story_run.h"

namespace ks {
namespace {

constexpr uint32_t kVolumeMarkMs = 1000;
constexpr uint32_t kShotMarkMs = 1500;

void ChangeVolume(EngineState& state, const FrameKeys& keys, uint32_t now) {
  Settings& s = state.reader.settings;
  const Settings before = s;
  if (keys.Pressed(ReaderKey::kVolumeDown)) s.volume = std::max(0, (s.volume + 9) / 10 * 10 - 10);
  if (keys.Pressed(ReaderKey::kVolumeUp)) s.volume = std::min(100, s.volume / 10 * 10 + 10);
  if (keys.Pressed(ReaderKey::kVolumeDown) || keys.Pressed(ReaderKey::kVolumeUp)) s.muted = false;
  if (keys.Pressed(ReaderKey::kMute)) s.muted = !s.muted;
  if (s == before && !keys.Pressed(ReaderKey::kVolumeDown) && !keys.Pressed(ReaderKey::kVolumeUp)) return;
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

// The story's keys and the buttons, which a reader's screen can swallow.
constexpr Key kSwallowable[] = {Key::kEnter, Key::kSpace, Key::kUp, Key::kDown, Key::kLeftButton, Key::kRightButton};

// The mouse acts as the story's keys would, once per press of a button.
void PointerToKeys(EngineState& state, FrameKeys& keys) {
  ReaderState& reader = state.reader;
  const bool left = keys.leftButton && !reader.leftButtonWasDown;
  const bool right = keys.rightButton && !reader.rightButtonWasDown;
  reader.leftButtonWasDown = keys.leftButton;
  reader.rightButtonWasDown = keys.rightButton;
  if (reader.backlogShown >= 0) return;  // the backlog reads the wheel and buttons itself
  ScreenState& screen = state.screen;
  if (OnPage(screen)) {
    if (left || keys.wheelDown) keys.enter = true;
    if (right) keys.space = true;
    return;
  }
  int row = -1;
  if (InMenu(screen)) {
    row = MenuRowAt(keys.pointerX, keys.pointerY);
    if (right) {
      screen.cursor = kCancelRow;
      keys.enter = true;
    }
  } else if (const int32_t count = ChoiceCount(screen); count > 0) {
    row = ChoiceAt(state.choices, count, keys.pointerX, keys.pointerY);
  }
  if (row < 0) return;
  if (keys.pointerMoved || left) screen.cursor = row;  // as Up and Down would
  if (left) keys.enter = true;
}

}  // namespace

void SwallowHeldKeys(ReaderState& reader, FrameKeys& keys) {
  for (Key key : kSwallowable) {
    reader.swallowed[key] = keys[key];
    keys[key] = false;
  }
  keys.wheelDown = keys.wheelUp = false;
}

void ApplyVolume(EngineState& state) {
  if (state.sound.audio) state.sound.audio->SetVolume(state.reader.settings.muted ? 0 : state.reader.settings.volume);
}

void TakeReaderInput(EngineState& state, FrameKeys& keys, uint32_t now) {
  ReaderState& reader = state.reader;
  // Story keys that closed the help read as up until they are released.
  for (Key key : kSwallowable) {
    if (!reader.swallowed[key]) continue;
    if (keys[key]) {
      keys[key] = false;
    } else {
      reader.swallowed[key] = false;
    }
  }
  // Hidden text shows again at any key or click, which does nothing else.
  if (reader.textHidden && keys.AnyInput()) {
    reader.textHidden = false;
    SwallowHeldKeys(reader, keys);
    reader.leftButtonWasDown = keys.leftButton;
    reader.rightButtonWasDown = keys.rightButton;
    keys = FrameKeys{};
    return;
  }
  ChangeVolume(state, keys, now);
  if (keys.Pressed(ReaderKey::kScreenshot)) TakeScreenshot(state, now);
  TakeReadingSwitches(state, keys, now);

  if (reader.helpShown || keys.Pressed(ReaderKey::kHelp)) {
    // The help closes at any key or click, which does nothing else.
    if (reader.helpShown && keys.AnyInput()) {
      reader.helpShown = false;
      SwallowHeldKeys(reader, keys);
    } else {
      reader.helpShown = true;
    }
    reader.leftButtonWasDown = keys.leftButton;
    reader.rightButtonWasDown = keys.rightButton;
    keys = FrameKeys{};
    return;
  }
  PointerToKeys(state, keys);
}

bool CloseReaderScreen(EngineState& state) {
  ReaderState& reader = state.reader;
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

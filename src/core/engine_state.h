// EngineState: the one record that holds everything the player knows, grouped
// by concern. Every operation is a free function over it, so a test can hold
// several engines. A fresh record is zero everywhere but the choice-list
// position (265, 320); returning to the title only moves `scriptPos`,
// nothing is ever reset whole.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/limits.h"
#include "core/audio_device.h"
#include "core/platform.h"
#include "core/scene.h"
#include "core/surface.h"
#include "core/reader_state.h"
#include "core/story_parts.h"

namespace ks {

class Font;  // present/font.h

// The script: the file's bytes (line feeds turned into commas), never
// changed after start-up, and the label positions found in it.
struct ScriptState {
  std::vector<uint8_t> scriptBuffer;
  uint32_t scriptSize = 0;
  uint32_t scriptPos = 0;  // where the interpreter resumes
  std::array<uint32_t, kLabelCount> labelTable{};
  bool interrupted = false;  // the last run was cut short by a quit
};

// What the screen shows: the system menu, the text page, or a choice list
// whose value is its number of choices.
inline constexpr int32_t kUiMenu = -1;
inline constexpr int32_t kUiPage = 0;

// The screen and the story's flow. Flags hold 0 or 1.
struct ScreenState {
  int32_t uiMode = kUiPage;  // read through the helpers below
  int32_t cursor = 0;        // shared by the system menu and the choice list
  uint32_t fadeActive = 0;
  uint32_t quitRequested = 0;
  uint32_t titleNotice = 0;
  uint32_t savedNotice = 0;
  uint32_t loadedNotice = 0;
  uint32_t saveFailedNotice = 0;  // a save that did not reach the disk, said on the screen
  uint32_t lastFrameTime = 0;
};

inline bool OnPage(const ScreenState& screen) { return screen.uiMode == kUiPage; }
inline bool InMenu(const ScreenState& screen) { return screen.uiMode == kUiMenu; }
// The number of choices on the screen: 1 to 5 in a choice list, else 0.
inline int32_t ChoiceCount(const ScreenState& screen) {
  return screen.uiMode >= 1 && screen.uiMode <= kMaxChoices ? screen.uiMode : 0;
}
inline bool AnyNotice(const ScreenState& screen) {
  return screen.savedNotice || screen.loadedNotice || screen.titleNotice || screen.saveFailedNotice;
}

// Key latches: a key with a latch acts when it is down and its latch is
// clear, and sets the latch; the latch clears when the key is seen up.
struct InputState {
  uint32_t enterLatch = 0;
  uint32_t choiceUpLatch = 0;
  uint32_t choiceDownLatch = 0;
  uint32_t menuUpLatch = 0;
  uint32_t menuDownLatch = 0;
};

// The three 640 x 480 surfaces: what is shown, what the next frame is
// composed on, and the current picture.
struct DisplayState {
  Surface primarySurface{kScreenWidth, kScreenHeight};
  Surface backBuffer{kScreenWidth, kScreenHeight};
  Surface backgroundSurface{kScreenWidth, kScreenHeight};
  uint64_t backgroundGeneration = 0;  // counts the pictures loaded onto it
  // The file the background's last picture came from, as it was then.
  std::string picturePath;
  std::array<uint64_t, 5> pictureStamp{};
  uint64_t pictureGeneration = 0;

  // The first page's picture, read and decoded while the display opened,
  // from the file at `aheadPath` as it was then (`aheadStamp`): the first
  // load of that same unchanged file takes it instead of reading it again.
  Surface aheadPicture;
  std::string aheadPath;
  std::array<uint64_t, 5> aheadStamp{};

  // The frame being composed started from the background as it was then; a
  // picture loaded during the frame first saves that background into the
  // back buffer (`backBufferReady`), so the frame still shows the old one.
  bool composing = false;
  bool backBufferReady = false;

  // What the visible surface shows, when it is a composed frame (not a fade
  // step): a frame that would draw the same scene does no pixel work.
  Scene shownScene;
  bool sceneShown = false;
  // The last frame found its scene already on the screen: until something
  // comes from outside, another frame would change nothing.
  bool settled = false;
};

// One playback channel: the device it has open and whether a play was issued.
// `playing` stays 1 after a file that failed to open, and after a one-shot
// sound has finished, until the channel is stopped or played again.
struct SoundChannel {
  AudioChannel kind = AudioChannel::kMusic;
  DeviceId device = kNoDevice;
  char fileName[kFileFieldBytes] = {};  // the name last given to the channel
  uint32_t playing = 0;
};

struct SoundState {
  SoundChannel bgmChannel{AudioChannel::kMusic};
  SoundChannel loopSeChannel{AudioChannel::kLoopEffect};
  SoundChannel oneShotSeChannel{AudioChannel::kOneShotEffect};
  SoundChannel pageSound{AudioChannel::kPageSound};
  AudioDevice* audio = nullptr;  // none: the channels keep their flags, silent
  bool quietEffects = false;     // one-shot effects and the page sound are not started
};

// The menu's font (rows and choices) and the page's (page text and notices).
// Without them no text is drawn.
struct FontState {
  std::unique_ptr<Font> menuFont;
  std::unique_ptr<Font> pageFont;
};

struct EngineState {
  EngineState();
  ~EngineState();
  EngineState(const EngineState&) = delete;
  EngineState& operator=(const EngineState&) = delete;

  ScriptState script;
  PageState page;
  ChoiceState choices;
  ScreenState screen;
  InputState input;
  AssetState assets;
  DisplayState display;
  SoundState sound;
  FontState fonts;
  ReaderState reader;
  std::string storyRoot = ".";  // the folder every script-named file is found in
  bool storyReadOnly = false;    // installed with the player: the menu never saves into it
  Platform* platform = nullptr;  // for a long run of the script to hear a quit
};

}  // namespace ks

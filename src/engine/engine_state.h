// EngineState: the one record that holds everything the player knows. Every
// operation is a free function over it, so a test can hold several engines.
// A fresh record is zero everywhere but the choice-list position (265, 320);
// returning to the title only moves `scriptPos`, nothing is ever reset whole.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/limits.h"
#include "platform/audio_device.h"
#include "present/scene.h"
#include "present/surface.h"

namespace ks {

// What the screen shows: the system menu, the text page, or a choice list
// whose value is its number of choices.
inline constexpr int32_t kUiMenu = -1;
inline constexpr int32_t kUiPage = 0;

// One playback channel: the device it has open and whether a play was issued.
// `playing` stays 1 after a file that failed to open, and after a one-shot
// effect has finished, until the channel is stopped or played again.
struct SoundChannel {
  AudioChannel kind = AudioChannel::kMusic;
  DeviceId device = kNoDevice;
  char fileName[kFileFieldBytes] = {};  // the name last given to the channel
  uint32_t playing = 0;
};

class Font;  // present/font.h

struct EngineState {
  // Script: the file's bytes (line feeds turned into commas), never changed
  // after start-up, and the label positions found in it.
  std::vector<uint8_t> scriptBuffer;
  uint32_t scriptSize = 0;
  uint32_t scriptPos = 0;  // where the interpreter resumes
  std::array<uint32_t, kLabelCount> labelTable{};

  // Page: Shift-JIS bytes; NUL-terminated when the interpreter stops at a
  // page end, a fade or the script's end. Old bytes past the NUL stay.
  char pageText[kPageBytes] = {};
  uint32_t pageLength = 0;  // never above kMaxPageLength

  // Choices
  char choiceTexts[kMaxChoices][kChoiceTextBytes] = {};
  int32_t choiceTargets[kMaxChoices] = {};
  int32_t choiceX = kLowChoiceX;
  int32_t choiceY = kLowChoiceY;

  // Screen and input. Flags and latches hold 0 or 1.
  int32_t uiMode = kUiPage;
  int32_t cursor = 0;  // shared by the system menu and the choice list
  uint32_t fadeActive = 0;
  uint32_t quitRequested = 0;
  uint32_t titleNotice = 0;
  uint32_t savedNotice = 0;
  uint32_t loadedNotice = 0;
  uint32_t enterLatch = 0;
  uint32_t choiceUpLatch = 0;
  uint32_t choiceDownLatch = 0;
  uint32_t menuUpLatch = 0;
  uint32_t menuDownLatch = 0;
  uint32_t lastFrameTime = 0;

  // The picture and music the script last asked for, as saved.
  char backgroundFile[kBackgroundNameBytes] = {};
  char bgmFile[kBgmNameBytes] = {};

  // The three 640 x 480 surfaces: what is shown, what the next frame is
  // composed on, and the current picture.
  Surface primarySurface{kScreenWidth, kScreenHeight};
  Surface backBuffer{kScreenWidth, kScreenHeight};
  Surface backgroundSurface{kScreenWidth, kScreenHeight};
  uint64_t backgroundGeneration = 0;  // counts the pictures loaded onto it

  // What the visible surface shows, when it is a composed frame (not a fade
  // step): a frame that would draw the same scene does no pixel work.
  Scene shownScene;
  bool sceneShown = false;

  // Sound
  SoundChannel bgmChannel{AudioChannel::kMusic};
  SoundChannel loopSeChannel{AudioChannel::kLoopEffect};
  SoundChannel oneShotSeChannel{AudioChannel::kOneShotEffect};
  uint32_t pageSoundOpen = 0;
  DeviceId pageSoundDevice = kNoDevice;

  // The fonts: the menu's (rows and choices) and the page's (page text and
  // notices). Without them no text is drawn.
  std::shared_ptr<Font> menuFont;
  std::shared_ptr<Font> pageFont;

  // Platform: the story folder every script-named file is found in, and the
  // audio device (none: the channels keep their flags and stay silent).
  std::string storyRoot = ".";
  AudioDevice* audio = nullptr;
};

}  // namespace ks

#include "engine/main_loop.h"

#include <time.h>

#include <algorithm>

#include "engine/frame.h"
#include "present/background.h"
#include "present/font.h"
#include "core/report.h"
#include "engine/screens.h"
#include "core/trace.h"
#include "core/file_io.h"
#include "reader/aids.h"
#include "reader/reader.h"
#include "reader/slots.h"
#include "reader/story_run.h"
#include "save/save_file.h"
#include "script/interpreter.h"
#include "script/label_index.h"
#include "script/script_file.h"
#include "sound/sound.h"

namespace ks {
namespace {

// The first page's picture is read while the display opens: the script's
// first "@G" before its first page ends. Only a guess (the page may jump
// elsewhere first); the picture is taken only when the first picture the
// story loads is that same file, unchanged.
void ReadFirstPictureAhead(EngineState& state) {
  constexpr uint32_t kLookBytes = 64 * 1024;  // a first page is far shorter
  const uint8_t* buf = state.script.scriptBuffer.data();
  const uint32_t start = state.script.scriptPos;
  const uint32_t end = std::min(state.script.scriptSize, start + kLookBytes);
  for (uint32_t at = start; at + 1 < end; ++at) {
    if (buf[at] != '@') continue;
    if (buf[at + 1] == 'E' || buf[at + 1] == 'C') return;  // the page ends first
    if (buf[at + 1] != 'G') continue;
    char name[kFileFieldBytes];
    state.script.scriptPos = at + 2;
    ReadField(state, name, sizeof name);
    state.script.scriptPos = start;
    ReadPictureAhead(state, name);
    return;
  }
}

}  // namespace

bool PrepareStory(EngineState& state, std::string* error) {
  if (!LoadScript(state, error)) return false;
  BuildLabelIndex(state);
  Trace("script read and indexed");
  RemoveStaleSaveTemporaries(state);  // left by a save killed midway
  // The fonts before the first page: without them the program ends, and it
  // should not start the story's music on its way out.
  if (!OpenFonts(state.fonts, error)) return false;
  Trace("fonts open");
  ReadFirstPictureAhead(state);
  if (state.reader.keepReadMarks) {
    state.reader.readMarksFile = ReadMarksFile(state.script);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    RemoveStaleTemporaries(state.reader.readMarksFile, now);  // left by a write killed midway
    std::string problem;
    LoadReadMarks(state, &problem);
    if (!problem.empty()) Report(problem);
  }
  return true;
}

void BeginStory(EngineState& state, Platform& platform) {
  state.platform = &platform;
  state.sound.audio = &platform.Audio();
  ApplyVolume(state);
  RunStory(state);  // the first page is ready before the first frame
  DropPictureAhead(state.display);  // a guess that missed
  PrepareSlots(state, platform.NowMs());
  Trace("first page run");
}

bool StartUp(EngineState& state, Platform& platform, std::string* error) {
  if (!PrepareStory(state, error)) return false;
  BeginStory(state, platform);
  return true;
}

bool MainLoopStep(EngineState& state, Platform& platform) {
  if (state.screen.quitRequested) return false;
  platform.Poll();
  Message message;
  if (platform.TakeMessage(&message)) {
    if (message.kind == Message::Kind::kQuit) return false;
    if (message.kind == Message::Kind::kEscape) return CloseReaderScreen(state);
    OnPlaybackNotify(state, message.playback);
    return true;
  }
  if (const uint32_t wait = TimeToNextFrame(state, platform.NowMs()); wait > 0) {
    platform.WaitForMessage(wait);
    return true;
  }
  // A frame with nothing new to read and nothing moving on by itself would
  // change nothing: sleep until something comes instead.
  if (!NeedsFrame(state) && !platform.InputWaiting()) {
    platform.WaitForInput();
    return true;
  }
  if (UpdateFrame(state, platform)) platform.FrameProcessed();
  return true;
}

void ShutDown(EngineState& state) {
  state.fonts.menuFont.reset();
  state.fonts.pageFont.reset();
  state.sound.audio = nullptr;
  state.platform = nullptr;
}

}  // namespace ks

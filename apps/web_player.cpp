// The player in a browser page (web/index.html). The page hands over the
// story's files and what its storage kept, then starts the story: as a
// reader plays it (the browser's animation frames drive the main loop), or
// with the replay tool's keys on virtual time, a frame at a time on the
// page's request, for the tests that hold the canvas against the replay's
// pictures. Start-up and the main loop are the player's own.
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/engine_state.h"
#include "core/machine.h"
#include "core/report.h"
#include "engine/main_loop.h"
#include "platform/web/web_machine.h"
#include "platform/web/web_platform.h"
#include "reader/aids.h"
#include "reader/settings.h"
#include "reader/slots.h"

namespace {

constexpr const char* kStoryRoot = "/story";
// Read marks are written at most this often (ms), and when the page hides.
constexpr uint32_t kReadMarksEveryMs = 10000;

ks::WebMachine machine;
ks::EngineState state;
std::unique_ptr<ks::WebPlatform> web;
ks::WebSpeech speech;
std::unique_ptr<ks::CanvasReplay> replay;
ks::Settings written;
uint32_t marksWritten = 0;
bool ended = false;

EM_JS(void, KsShowEnd, (const char* why), { Module.ksEnded(UTF8ToString(why)); });

void WriteMarks(bool now) {
  if (!state.reader.readRunsChanged || (!now && web->NowMs() - marksWritten < kReadMarksEveryMs)) return;
  state.reader.readRunsChanged = false;
  marksWritten = web->NowMs();
  std::string why;
  if (!ks::WriteReadMarks(state.reader.readMarksFile, state.reader.readRuns, state.script.scriptSize, &why)) {
    ks::Report(why);
  }
}

// The place is kept as on the desktop when the reader quits, but at every
// new page once it shows: a browser may close a page without waiting for
// what it writes then.
uint64_t placeKeptAt = 0;  // the backlog page it was kept at
void KeepPlace() {
  placeKeptAt = state.reader.place.backlogPushed;
  if (std::string why; !ks::KeepPlace(state, &why)) ks::Report("the place was not kept: " + why);
}

void End(const std::string& why) {
  ended = true;
  if (web) WriteMarks(true), KeepPlace();
  emscripten_cancel_main_loop();
  ks::ShutDown(state);
  KsShowEnd(why.c_str());
}

// One animation frame: steps until the core would wait or has drawn a frame.
void Tick() {
  for (int step = 0; step < 64 && !ended; ++step) {
    if (!ks::MainLoopStep(state, *web)) return End("");
    if (std::exchange(state.reader.settingsChanged, false)) {
      std::string why;
      if (ks::SaveSettings(ks::SettingsPath(), written, state.reader.settings, &why)) {
        written = state.reader.settings;
      } else {
        ks::Report(why);
      }
    }
    WriteMarks(false);
    const bool done = web->TakeFrameDone();
    if (done && state.display.settled && state.reader.place.backlogPushed != placeKeptAt) KeepPlace();
    if (done) break;
  }
}

}  // namespace

extern "C" {

// Makes a file of the story, the storage or the font at `path` (bytes, not
// text), `size` bytes long, written at `ms` since 1970 (0: not known), and
// returns where the page writes its bytes: a story's files are copied once,
// straight into their place.
EMSCRIPTEN_KEEPALIVE uint8_t* ks_web_file(const char* path, int pathSize, int size, double ms) {
  const std::string name(path, size_t(pathSize));
  uint8_t* bytes = machine.Make(name, size_t(std::max(size, 0)));
  if (ms > 0) machine.SetTime(name, uint64_t(ms));
  return bytes;
}

// Starts the story at /story. With `tokens` (the replay tool's keys) it waits
// for ks_web_run_to; without, the reader plays. Returns 0, or 1 after
// telling the page why not.
EMSCRIPTEN_KEEPALIVE int ks_web_start(const char* tokens) {
  state.storyRoot = kStoryRoot;
  state.reader.place.slotsFolder = ks::SlotsFolderFor(kStoryRoot);  // the page's storage is the story's own
  std::string error;
  bool started = false;
  if (tokens) {
    std::vector<ks::KeyToken> frames;
    if (ks::ParseKeyTokens(tokens, &frames, &error)) {
      replay = std::make_unique<ks::CanvasReplay>(std::move(frames));
      started = ks::StartUp(state, *replay, &error);
    }
  } else {
    web = std::make_unique<ks::WebPlatform>();
    state.reader.speech = &speech;
    state.reader.clipboard = web.get();
    state.reader.keepReadMarks = true;
    std::string problems;
    ks::LoadSettings(ks::SettingsPath(), &state.reader.settings, &problems);
    if (!problems.empty()) ks::Report(problems);
    written = state.reader.settings;
    started = ks::StartUp(state, *web, &error);
    placeKeptAt = state.reader.place.backlogPushed;  // the first page keeps the last visit's place
    if (started) emscripten_set_main_loop(Tick, 0, 0);
  }
  if (!started) {
    ended = true;
    KsShowEnd(error.c_str());
  }
  return started ? 0 : 1;
}

// Replay: runs until `frame` frames are processed or the story ends; returns
// the frames processed (negative once the story has ended).
EMSCRIPTEN_KEEPALIVE double ks_web_run_to(double frame) {
  if (!replay) return -1;
  while (!ended && double(replay->processed()) < frame && replay->HasKeysLeft()) {
    if (!ks::MainLoopStep(state, *replay)) ended = true;
  }
  ended = ended || state.screen.quitRequested;
  return ended ? -double(replay->processed()) - 1 : double(replay->processed());
}

EMSCRIPTEN_KEEPALIVE void ks_web_key(const char* code, int down, int repeat, int shift) {
  if (web) web->OnKey(code, down != 0, repeat != 0, shift != 0);
}
EMSCRIPTEN_KEEPALIVE void ks_web_pointer(int x, int y, int button, int down) {
  if (web) web->OnPointer(x, y, button, down != 0);
}
EMSCRIPTEN_KEEPALIVE void ks_web_wheel(int notches) {
  if (web) web->OnWheel(notches);
}
EMSCRIPTEN_KEEPALIVE void ks_web_sound_ended(unsigned device) {
  if (web) web->OnSoundEnded(device);
}
// The page is going away: the read marks and the place are kept now.
EMSCRIPTEN_KEEPALIVE void ks_web_hide() {
  if (web && !ended) WriteMarks(true), KeepPlace();
}

}  // extern "C"

int main() {
  ks::UseMachine(&machine);
  return 0;
}

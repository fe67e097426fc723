// kamishibai: plays a story in a window of its own, full screen or not, with
// the keyboard and the mouse. The reader's settings (the window, the volume,
// auto mode's pace) are kept between runs.
#include <unistd.h>

#include <csignal>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "core/engine_state.h"
#include "engine/main_loop.h"
#include "core/report.h"
#include "core/sjis.h"
#include "core/trace.h"
#include "ks_version.h"
#include "platform/desktop/background_writer.h"
#include "platform/desktop/desktop_speech.h"
#include "core/file_io.h"
#include "platform/desktop/install_paths.h"
#include "platform/sdl/sdl_platform.h"
#include "core/story_path.h"
#include "platform/desktop/story_watch.h"
#include "core/xdg.h"
#include "reader/aids.h"
#include "reader/key_help.h"
#include "reader/settings.h"
#include "reader/slots.h"
#include "reader/watch.h"
#include "script/script_file.h"
#include "platform/desktop/desktop_machine.h"

namespace {

constexpr const char* kUsage =
    "usage: kamishibai [OPTIONS] [STORY]\n"
    "Plays the story in STORY: a story folder (the one holding DATA/Script.txt),\n"
    "its DATA/ folder, or its DATA/Script.txt; by default the current folder.\n"
    "  -C DIR        look for STORY inside DIR\n"
    "  --window      play in a window this time\n"
    "  --fullscreen  play full screen this time\n"
    "  --demo        play the demo story that comes with the player\n"
    "  --skip-all    let Ctrl and Tab skip pages not read yet too\n"
    "  --watch       for authors: play the page again whenever the story's files change\n"
    "  --continue    go on from where the reader last quit the story\n"
    "  --help        print this and exit; --version: print the version\n";

constexpr const char* kUsageEnd =
    "Settings: $XDG_CONFIG_HOME/kamishibai/settings.ini (~/.config/kamishibai/).\n"
    "Save slots (F2, F3, F5, F9) and the place kept on quit: $XDG_DATA_HOME/kamishibai/\n"
    "stories/ (~/.local/share/kamishibai/), a folder for each story folder; the\n"
    "menu's save stays in the story's DATA/save.txt.\n"
    "Exit status: 0 when the story or the reader ends it, 1 on an error (no\n"
    "script, no display, no Japanese font), 2 for bad arguments.\n";

// The options, every key and mouse action, the settings and the exit status.
void PrintUsage(std::FILE* to) {
  std::fputs(kUsage, to);
  std::fputs("Keys and the mouse:\n", to);
  for (const ks::KeyHelp& row : ks::KeyHelpRows()) std::fprintf(to, "  %-30s %s\n", row.keys, row.what);
  std::fputs(kUsageEnd, to);
}

constexpr uint32_t kReadMarksEveryMs = 3 * 60 * 1000;

int UsageError(const std::string& why) {
  std::fprintf(stderr, "kamishibai: %s\n", why.c_str());
  PrintUsage(stderr);
  return 2;
}

struct Options {
  std::string story = ".";
  bool storyGiven = false;
  std::string folder;
  bool demo = false;
  bool skipAll = false;
  bool watch = false;
  bool resume = false;  // --continue
  int fullScreen = -1;  // -1: as the settings say
};

// Returns -1 when the options are good and the player should run, or the
// exit status.
int ParseOptions(int argc, char** argv, Options* options) {
  bool& storyGiven = options->storyGiven;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      PrintUsage(stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("kamishibai %s\n", ks::kVersion);
      return 0;
    }
    if (arg == "-C") {
      if (i + 1 >= argc) return UsageError("-C needs a folder");
      options->folder = argv[++i];
    } else if (arg == "--window" || arg == "--fullscreen") {
      options->fullScreen = arg == "--fullscreen";
    } else if (arg == "--demo") {
      options->demo = true;
    } else if (arg == "--skip-all") {
      options->skipAll = true;
    } else if (arg == "--watch") {
      options->watch = true;
    } else if (arg == "--continue") {
      options->resume = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else if (storyGiven) {
      return UsageError("one story at a time, not also " + arg);
    } else {
      options->story = arg;
      storyGiven = true;
    }
  }
  return -1;
}

// The window's title: the story folder's name and the program's, or the
// program's alone when the folder has no name to show.
std::string WindowTitle(const std::string& root) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(root, error).lexically_normal();
  if (folder.filename().empty()) folder = folder.parent_path();
  std::string name = folder.filename().string(), utf8;
  if (!ks::IsUtf8(name)) name = ks::Cp932ToUtf8(name, &utf8) ? utf8 : "";
  return name.empty() || name == "/" ? "Kamishibai" : name + " — Kamishibai";
}

}  // namespace

namespace {

int Play(int argc, char** argv) {
  ks::UseMachine(&ks::Desktop());  // this program's files and fonts are the desktop's
  ks::SdlPlatform::PrepareProcess();  // before any thread starts
  ks::Trace("main");
  // Text for the window system (the title) is UTF-8 whatever the reader's
  // locale; set before any thread starts.
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
  Options options;
  if (const int status = ParseOptions(argc, argv, &options); status >= 0) return status;
  std::string root;
  if (options.demo) {
    root = ks::FindDemoStory();
    if (root.empty()) {
      std::fprintf(stderr, "kamishibai: --demo: no demo story is installed beside this program\n");
      return 1;
    }
  } else {
    std::string story = options.story;
    if (!options.folder.empty() && story[0] != '/') story = story == "." ? options.folder : options.folder + "/" + story;
    root = ks::StoryRootFor(story);
  }
  // A story that is not there is said before a window opens for nothing.
  // Started with no story (from a menu, say) where there is none: the demo.
  ks::StoryFile script = ks::FindStoryFile(root, ks::kScriptFileName);
  if (!ks::IsRegularFile(script.path) && !options.storyGiven && !options.demo && options.folder.empty() &&
      !ks::FindDemoStory().empty()) {
    ks::Report("no story in the current folder; playing the demo (kamishibai --help tells how to play yours)");
    root = ks::FindDemoStory();
    script = ks::FindStoryFile(root, ks::kScriptFileName);
  }
  if (!ks::IsRegularFile(script.path)) {
    std::fprintf(stderr, "kamishibai: no story at %s: %s is not there\n", root.c_str(), script.path.c_str());
    return 1;
  }

  ks::EngineState state;
  state.storyRoot = root;
  state.storyReadOnly = ks::InstalledWithThePlayer(root);
  state.reader.keepReadMarks = true;
  {
    // Slots belong to the story folder itself, however it was named.
    std::error_code failed;
    const std::filesystem::path real = std::filesystem::canonical(root, failed);
    state.reader.place.slotsFolder = ks::SlotsFolderFor(failed ? root : real.string());
  }
  state.reader.skipAllAlways = options.skipAll;
  ks::Settings& settings = state.reader.settings;
  const std::string settingsPath = ks::SettingsPath();
  if (settingsPath.empty() || ks::DataFolder().empty()) {
    ks::Report("there is no home folder (HOME is not set): the settings, read marks and screenshots are not kept");
  }
  std::string problems;
  const bool keepSettings = ks::LoadSettings(settingsPath, &settings, &problems);
  if (!problems.empty()) ks::Report(problems);
  ks::Settings written = settings;  // as the file has them; the writer's own after the start
  const bool rememberedMode = settings.fullScreen;
  if (options.fullScreen >= 0) settings.fullScreen = options.fullScreen == 1;

  ks::Trace("settings read");
  // The script and the fonts are read while the display opens.
  std::string prepareError;
  bool prepared = false;
  std::thread preparing([&] { prepared = ks::PrepareStory(state, &prepareError); });
  ks::SdlPlatform platform;
  std::string error;
  const bool opened = platform.Open(&settings, &error);
  preparing.join();
  if (!opened || !prepared) {
    platform.Close();  // the desktop comes back before the message
    std::fprintf(stderr, "kamishibai: %s\n", (opened ? prepareError : error).c_str());
    return 1;
  }
  platform.SetTitle(WindowTitle(root));
  // A hang-up quits as a window closed does, keeping the place: SDL turns
  // SIGTERM (and SIGINT) into a quit.
  std::signal(SIGHUP, [](int) { std::raise(SIGTERM); });
  ks::DesktopSpeech speech(settings.speechCommand);
  state.reader.speech = &speech;
  state.reader.clipboard = &platform;
  ks::BeginStory(state, platform);
  if (options.resume) {
    std::string why;
    if (!ks::LoadSlot(state, ks::kAutoSlot, &why)) ks::Report("--continue: nothing to continue from (" + why + ")");
  }
  // A mode given for this run only is not remembered, unless the reader
  // switches it again.
  bool runOnlyMode = options.fullScreen >= 0;
  // The settings and the read marks are written on a thread of their own,
  // so that no frame waits for the disk; a burst of changes is one write.
  // A file that cannot be written is said once, not at every change.
  std::string settingsProblem, marksProblem;  // the writer's own
  enum { kSettingsWrite, kReadMarksWrite };
  ks::BackgroundWriter writer;
  auto save = [&] {
    if (!keepSettings) return;
    ks::Settings kept = settings;
    if (runOnlyMode) kept.fullScreen = rememberedMode;
    writer.Put(kSettingsWrite, [&, kept] {
      std::string why;
      if (ks::SaveSettings(settingsPath, written, kept, &why)) {
        written = kept;
      } else if (why != settingsProblem) {
        ks::Report(settingsProblem = why);
      }
    });
  };
  // The read marks every few minutes at most, and at the end.
  uint32_t marksWritten = platform.NowMs();
  const char* every = std::getenv("KAMISHIBAI_READ_MARKS_MS");  // for tests: how often, in ms
  const uint32_t marksEvery = every ? uint32_t(std::strtoul(every, nullptr, 10)) : kReadMarksEveryMs;
  auto writeMarks = [&](bool now) {
    if (!state.reader.readRunsChanged || (!now && platform.NowMs() - marksWritten < marksEvery)) return;
    state.reader.readRunsChanged = false;
    marksWritten = platform.NowMs();
    writer.Put(kReadMarksWrite, [&, file = state.reader.readMarksFile, runs = state.reader.readRuns,
                                 size = state.script.scriptSize] {
      std::string why;
      if (!ks::WriteReadMarks(file, runs, size, &why) && why != marksProblem) ks::Report(marksProblem = why);
    });
  };
  ks::StoryWatch watch;
  if (options.watch && !watch.Start(root, &error)) ks::Report(error + "; playing without watching");
  if (options.watch) platform.WakeWhenReadable(watch.fd());
  std::vector<std::string> changed;
  while (ks::MainLoopStep(state, platform)) {
    if (options.watch && watch.TakeChanges(&changed)) {
      writeMarks(true);  // under the script they belong to, before it may change
      ks::ReloadStory(state, changed);
    }
    const bool modeChanged = platform.TakeModeChanged();
    runOnlyMode = runOnlyMode && !modeChanged;
    if (modeChanged || std::exchange(state.reader.settingsChanged, false)) save();
    writeMarks(false);
  }
  writeMarks(true);
  ks::ShutDown(state);
  platform.Close(/*processEnding=*/true);  // the window goes at once; the writes finish after it
  // Every way out the reader takes keeps the place (the last page shown, as
  // the state still holds it); a story that ended by itself leaves it.
  if (std::string why; !ks::KeepPlace(state, &why)) ks::Report("the place was not kept: " + why);
  save();  // the window's size and place as they were last
  writer.Finish();
  return 0;
}

}  // namespace

// Everything written, the process ends at once: the sound card, left open
// and silent by Close(true), is the system's to let go, and no library's
// clean-up at exit runs under SDL's sound thread.
int main(int argc, char** argv) {
  const int status = Play(argc, argv);
  std::fflush(nullptr);
  _exit(status);
}

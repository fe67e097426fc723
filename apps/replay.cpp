// kamishibai-replay: plays a story headless and deterministically, for tests
// and for authors who want pictures of their story. Start-up and the main
// loop are the player's own; only the platform is simulated.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/engine_state.h"
#include "engine/main_loop.h"
#include "ks_version.h"
#include "platform/headless/headless_platform.h"
#include "platform/desktop/install_paths.h"
#include "platform/desktop/png.h"
#include "platform/desktop/desktop_machine.h"
#include "reader/slots.h"

namespace {

constexpr const char* kUsage =
    "usage: kamishibai-replay [-C DIR] [--input TOKENS] [--shot N=FILE.png]... [--state FILE.json] [--slots DIR]\n"
    "  -C DIR          the story folder, holding DATA/ (default: the working directory)\n"
    "  --input TOKENS  keys for each processed frame: . (none), or any of E S U D held,\n"
    "                  X (Escape before the frame), K (Ctrl held), T (Tab), A (auto mode),\n"
    "                  B (PageUp: the backlog; E there goes back to its page), N (PageDown),\n"
    "                  R (Backspace), W (F5), L (F9), V (F2), O (F3), G (the text's backdrop:\n"
    "                  band, outline, none in turn), H (hide the text); TOKEN*N repeats a token\n"
    "  --shot N=FILE   the visible picture after N processed frames, as PNG (N=0: before the\n"
    "                  first frame, still black); a shot past the end of the run fails\n"
    "  --state FILE    the engine's state after the run, as JSON\n"
    "  --slots DIR     the save slots' folder (W, L quick save and load; V, O the slots\n"
    "                  screens; R Backspace); the place is kept there when X quits\n"
    "  --version       prints the version\n";

struct Options {
  std::string folder = ".";
  std::vector<ks::KeyToken> frames;
  std::multimap<uint64_t, std::string> shots;
  std::string stateFile;
  std::string slots;
};

int UsageError(const std::string& why) {
  std::fprintf(stderr, "kamishibai-replay: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// Returns 0 when the options are good, or the exit status.
int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (arg == "--version") {
      std::printf("kamishibai-replay %s\n", ks::kVersion);
      std::exit(0);
    }
    if (i + 1 >= argc) return UsageError(arg == "-C" || arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg);
    const std::string value = argv[++i];
    if (arg == "-C") {
      options->folder = value;
    } else if (arg == "--input") {
      std::string error;
      if (!ks::ParseKeyTokens(value, &options->frames, &error)) return UsageError(error);
    } else if (arg == "--shot") {
      const size_t eq = value.find('=');
      const std::string n = value.substr(0, eq);
      if (eq == std::string::npos || n.empty() || n.size() > 12 || n.find_first_not_of("0123456789") != std::string::npos ||
          eq + 1 == value.size()) {
        return UsageError("--shot takes N=FILE.png, not " + value);
      }
      options->shots.emplace(std::stoull(n), value.substr(eq + 1));
    } else if (arg == "--slots") {
      options->slots = value;
    } else if (arg == "--state") {
      options->stateFile = value;
    } else {
      return UsageError("unknown argument " + arg);
    }
  }
  return 0;
}

using Json = nlohmann::ordered_json;

// Script bytes are Shift-JIS, not UTF-8: they go out as hex, up to the NUL.
std::string Hex(const char* bytes, size_t maxBytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < maxBytes && bytes[i] != '\0'; ++i) {
    out += kDigits[uint8_t(bytes[i]) >> 4];
    out += kDigits[uint8_t(bytes[i]) & 15];
  }
  return out;
}

// `value` on one line, with a space after each comma and colon.
std::string OneLine(const Json& value) {
  std::string out;
  if (value.is_array()) {
    for (const Json& item : value) out += (out.empty() ? "" : ", ") + OneLine(item);
    return "[" + out + "]";
  }
  if (value.is_object()) {
    for (auto it = value.begin(); it != value.end(); ++it) {
      out += (out.empty() ? "" : ", ") + Json(it.key()).dump() + ": " + OneLine(it.value());
    }
    return "{" + out + "}";
  }
  return value.dump();
}

Json Channel(const ks::SoundChannel& channel, int starts) {
  return {{"playing", channel.playing}, {"file", Hex(channel.fileName, sizeof channel.fileName)}, {"starts", starts}};
}

std::string StateJson(const ks::EngineState& s, const ks::HeadlessPlatform& platform, bool exited) {
  Json texts = Json::array(), targets = Json::array();
  for (int i = 0; i < ks::kMaxChoices; ++i) {
    texts.push_back(Hex(s.choices.choiceTexts[i], ks::kChoiceTextBytes));
    targets.push_back(s.choices.choiceTargets[i]);
  }
  const ks::SimulatedAudio& audio = platform.audio();
  const Json j = {
      {"scriptPos", s.script.scriptPos},
      {"scriptSize", s.script.scriptSize},
      {"pageLength", s.page.pageLength},
      {"pageText", Hex(s.page.pageText, sizeof s.page.pageText)},
      {"uiMode", s.screen.uiMode},
      {"cursor", s.screen.cursor},
      {"fadeActive", s.screen.fadeActive},
      {"titleNotice", s.screen.titleNotice},
      {"savedNotice", s.screen.savedNotice},
      {"loadedNotice", s.screen.loadedNotice},
      {"quitRequested", s.screen.quitRequested},
      {"enterLatch", s.input.enterLatch},
      {"choiceX", s.choices.choiceX},
      {"choiceY", s.choices.choiceY},
      {"choiceTexts", texts},
      {"choiceTargets", targets},
      {"backgroundFile", Hex(s.assets.backgroundFile, sizeof s.assets.backgroundFile)},
      {"bgmFile", Hex(s.assets.bgmFile, sizeof s.assets.bgmFile)},
      {"labelTable", s.script.labelTable},
      {"frames", platform.processed()},
      {"exited", exited},
      {"bgm", Channel(s.sound.bgmChannel, audio.starts(ks::AudioChannel::kMusic))},
      {"loopSe", Channel(s.sound.loopSeChannel, audio.starts(ks::AudioChannel::kLoopEffect))},
      {"oneShotSe", Channel(s.sound.oneShotSeChannel, audio.starts(ks::AudioChannel::kOneShotEffect))},
      {"page", {{"open", s.sound.pageSound.playing}, {"starts", audio.starts(ks::AudioChannel::kPageSound)}}},
  };
  // The layout earlier versions wrote, which scripts may match as text: a
  // top-level field a line, everything inside it on that line.
  std::string out = "{\n";
  for (auto it = j.begin(); it != j.end(); ++it) {
    out += "  " + Json(it.key()).dump() + ": " + OneLine(it.value()) + (std::next(it) == j.end() ? "\n" : ",\n");
  }
  return out + "}\n";
}

bool WriteText(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  ks::UseMachine(&ks::Desktop());  // this program's files and fonts are the desktop's
  Options options;
  if (const int status = ParseOptions(argc, argv, &options); status != 0) return status;

  ks::EngineState state;
  state.storyRoot = options.folder;
  state.storyReadOnly = ks::InstalledWithThePlayer(options.folder);
  state.reader.place.slotsFolder = options.slots;
  ks::HeadlessPlatform platform(options.frames);
  std::string error;
  if (!ks::StartUp(state, platform, &error)) {
    std::fprintf(stderr, "kamishibai-replay: %s\n", error.c_str());
    return 1;
  }

  int status = 0;
  auto takeShots = [&] {
    const auto [first, last] = options.shots.equal_range(platform.processed());
    for (auto it = first; it != last; ++it) {
      if (!ks::WritePng(it->second, state.display.primarySurface, &error)) {
        std::fprintf(stderr, "kamishibai-replay: %s\n", error.c_str());
        status = 1;
      }
    }
  };
  takeShots();
  bool exited = false;
  while (platform.HasKeysLeft()) {
    const uint64_t before = platform.processed();
    if (!ks::MainLoopStep(state, platform)) {
      exited = true;
      break;
    }
    if (platform.processed() != before) takeShots();
  }
  // A quit asked for in the last frame ends the loop before its next turn.
  exited = exited || state.screen.quitRequested;
  if (exited && !ks::KeepPlace(state, &error)) std::fprintf(stderr, "kamishibai-replay: %s\n", error.c_str());

  for (const auto& [frame, file] : options.shots) {
    if (frame > platform.processed()) {
      std::fprintf(stderr, "kamishibai-replay: no shot %s: the run ended after %llu frames\n", file.c_str(),
                   (unsigned long long)platform.processed());
      status = 1;
    }
  }
  if (!options.stateFile.empty() && !WriteText(options.stateFile, StateJson(state, platform, exited))) {
    std::fprintf(stderr, "kamishibai-replay: cannot write %s: %s\n", options.stateFile.c_str(), std::strerror(errno));
    status = 1;
  }
  ks::ShutDown(state);
  return status;
}

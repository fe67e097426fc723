#include "reader/aids.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "core/sjis.h"
#include "core/file_io.h"
#include "core/xdg.h"
#include "reader/reader.h"
#include "reader/rollback.h"

namespace ks {
namespace {

constexpr const char* kReadMarksHeader = "kamishibai read marks 1";
constexpr size_t kMaxReadRuns = 1 << 20;
constexpr uint32_t kAutoMarkMs = 1000;

std::string PageBytes(const PageState& page) { return std::string(page.pageText, strnlen(page.pageText, kPageBytes)); }

// Characters as the reader counts them: a double-byte character is one.
int Characters(const std::string& text) {
  int count = 0;
  for (size_t i = 0; i < text.size(); ++i, ++count) {
    if (IsSjisLeadByte(uint8_t(text[i])) && i + 1 < text.size()) ++i;
  }
  return count;
}

void Remember(ReaderState& reader, std::string text) {
  if (!reader.backlog.empty() && reader.backlog.back() == text) return;  // the same page again
  if (reader.backlog.size() == kBacklogPages) reader.backlog.pop_front();
  reader.backlog.push_back(std::move(text));
  ++reader.place.backlogPushed;
}

bool IsPlaying(const EngineState& state, const SoundChannel& channel) {
  return state.sound.audio && channel.device != kNoDevice && state.sound.audio->IsPlaying(channel.device);
}

// The story can be moved on by Enter now: a page, no notice, not at its end.
bool CanTurnPage(const EngineState& state) {
  const ScreenState& screen = state.screen;
  return OnPage(screen) && !AnyNotice(screen) && !screen.fadeActive && !screen.quitRequested &&
         state.script.scriptPos < state.script.scriptSize;
}

// Auto mode's speeds, in ms: a step is always to the next rung, so steps
// come back exactly to where they started.
constexpr int kAutoDelayLadder[] = {300,  400,  500,  600,  800,   1000,  1200,  1500,  2000, 2500,
                                    3000, 4000, 5000, 6000, 8000, 10000, 15000, 20000, 30000, 60000};
constexpr int kAutoCharLadder[] = {5, 10, 15, 20, 25, 30, 40, 50, 60, 80, 100, 120, 150, 200, 300, 500, 1000};

// The next rung below `value` (`down`) or above it; `value` past the ladder's end stays.
template <size_t N>
int StepAlong(const int (&ladder)[N], int value, bool down) {
  if (down) {
    for (size_t i = N; i-- > 0;) {
      if (ladder[i] < value) return ladder[i];
    }
  } else {
    for (int rung : ladder) {
      if (rung > value) return rung;
    }
  }
  return value;
}

}  // namespace

void NoteRun(EngineState& state, uint32_t start) {
  if (!OnPage(state.screen)) return NoteStop(state);  // a choice list: its page showed before
  ReaderState& reader = state.reader;
  const std::pair<uint32_t, uint32_t> run{start, state.script.scriptPos};
  reader.pageWasRead = reader.readRuns.count(run) > 0;
  if (!reader.pageWasRead && reader.readRuns.size() < kMaxReadRuns) {
    reader.readRuns.insert(run);
    reader.readRunsChanged = true;
  }
  Remember(reader, PageBytes(state.page));
  reader.pageShownAt = state.screen.lastFrameTime;
  NoteStop(state);
}

void NoteLoadedPage(EngineState& state) {
  ++state.reader.runs;  // a page of its own, read out as a run's would be
  Remember(state.reader, PageBytes(state.page));
  state.reader.pageWasRead = false;
  state.reader.pageShownAt = state.screen.lastFrameTime;
  NoteStop(state);
}

ScreenTurn BacklogScreen(EngineState& state, Intents& intents, Scene& scene) {
  ReaderState& reader = state.reader;
  const bool older = intents.Has(Intent::kBacklogOlder) || intents.Has(Intent::kWheelOlder);
  const int pages = int(reader.backlog.size());
  if (reader.backlogShown < 0) {
    if (!older || !OnPage(state.screen) || AnyNotice(state.screen) || state.screen.fadeActive || pages == 0) {
      return ScreenTurn::kNotUp;
    }
    reader.backlogShown = 0;  // the page on the screen; the next step back shows the one before
  }
  bool close = intents.Has(Intent::kAdvance) || intents.Has(Intent::kCancel) || intents.Has(Intent::kBacklogClose);
  if (older) reader.backlogShown = std::min(reader.backlogShown + 1, pages - 1);
  if (intents.Has(Intent::kBacklogNewer) || intents.Has(Intent::kWheelNewer)) close = close || --reader.backlogShown < 0;
  // Enter or a click on an earlier page goes back to it.
  const bool goBack = (intents.Has(Intent::kAdvance) || intents.Has(Intent::kClick)) && reader.backlogShown > 0;
  if (goBack || close) {
    // Back to the page exactly as it was; the key that closed it does
    // nothing else.
    if (goBack) GoBack(state, size_t(pages - 1 - reader.backlogShown));
    reader.backlogShown = -1;
    return ScreenTurn::kClosed;
  }
  const size_t index = size_t(pages - 1 - reader.backlogShown);
  AddBacklogPage(scene, reader.backlog[index], index + 1, size_t(pages));
  return ScreenTurn::kTookFrame;
}

void DriveAids(EngineState& state, Intents& intents, uint32_t now) {
  ReaderState& reader = state.reader;
  Settings& settings = reader.settings;
  if (intents.Has(Intent::kSkip)) reader.skipOn = !reader.skipOn, reader.skipAll = false;
  if (intents.Has(Intent::kSkipAll)) {
    reader.skipOn = !(reader.skipOn && reader.skipAll);
    reader.skipAll = reader.skipOn;
  }
  // Auto mode ends at any key or click but its own.
  const uint64_t own = IntentBit(Intent::kAuto) | IntentBit(Intent::kAutoFaster) | IntentBit(Intent::kAutoSlower);
  if (reader.autoOn && intents.AnyInput(own)) reader.autoOn = false;
  if (intents.Has(Intent::kAuto)) reader.autoOn = !reader.autoOn;
  if (intents.Has(Intent::kAutoFaster) || intents.Has(Intent::kAutoSlower)) {
    const bool faster = intents.Has(Intent::kAutoFaster);
    settings.autoDelayMs = StepAlong(kAutoDelayLadder, settings.autoDelayMs, faster);
    settings.autoCharMs = StepAlong(kAutoCharLadder, settings.autoCharMs, faster);
    reader.settingsChanged = true;
    reader.autoMark = true;
    reader.autoMarkUntil = now + kAutoMarkMs;
  }

  // Skipping stops at a choice list, the menu, a notice, an unread page and
  // the end; auto mode at a choice list, the menu and a notice.
  const bool unread = !reader.pageWasRead && !reader.skipAll && !reader.skipAllAlways;
  const bool stop = !OnPage(state.screen) || AnyNotice(state.screen) || state.script.scriptPos >= state.script.scriptSize;
  if (reader.skipOn && (stop || unread)) reader.skipOn = false;
  if (reader.autoOn && (!OnPage(state.screen) || AnyNotice(state.screen))) reader.autoOn = false;

  const bool ctrl = intents.Has(Intent::kSkipHeld);
  reader.skippedLastFrame = (ctrl || reader.skipOn) && !unread && CanTurnPage(state);
  // Skip is on while the reader holds Ctrl or left it on, and every run
  // consults it, wherever it starts (a fade's end, a choice taken, the title
  // notice, watch mode): what a skip plays but the reader would not hear,
  // one-shot effects and the page sound, is not started.
  state.sound.quietEffects = reader.skippedLastFrame || ctrl || reader.skipOn;
  if (reader.skippedLastFrame) {
    intents.Add(Intent::kTurnPage);
    return;
  }
  if (reader.autoOn && CanTurnPage(state)) {
    const uint32_t wait = uint32_t(settings.autoDelayMs) +
                          uint32_t(settings.autoCharMs) * uint32_t(Characters(PageBytes(state.page)));
    const bool soundsDone = !IsPlaying(state, state.sound.pageSound) && !IsPlaying(state, state.sound.oneShotSeChannel);
    if (now - reader.pageShownAt >= wait && soundsDone) intents.Add(Intent::kTurnPage);
  }
}

// Skip is on exactly while the sound keeps its effects quiet.
bool SkipsFades(const EngineState& state) { return state.sound.quietEffects; }

void AddAidMarks(Scene& scene, EngineState& state, uint32_t now) {
  ReaderState& reader = state.reader;
  reader.autoMark = reader.autoMark && StillShowing(now, reader.autoMarkUntil);
  if (reader.skippedLastFrame || reader.skipOn) {
    AddModeMark(scene, reader.skipAll || reader.skipAllAlways ? "SKIP!" : "SKIP");
  } else if (reader.autoOn || reader.autoMark) {
    char text[32];
    std::snprintf(text, sizeof text, reader.autoMark ? "AUTO %.1fs" : "AUTO", reader.settings.autoDelayMs / 1000.0);
    AddModeMark(scene, text);
  }
}

// FNV-1a over the script's bytes, as 16 hex digits.
std::string ReadMarksFile(const ScriptState& script) {
  uint64_t hash = 14695981039346656037ull;
  for (uint8_t b : script.scriptBuffer) hash = (hash ^ b) * 1099511628211ull;
  char id[17];
  std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(hash));
  const std::string folder = DataFolder();
  return folder.empty() ? "" : folder + "/" + id + "/read";  // no home: not kept
}

namespace {

using ReadRuns = std::set<std::pair<uint32_t, uint32_t>>;

// Adds the runs a read-marks file holds to `runs`; false when it is damaged
// (then `runs` is as it was).
bool ParseReadMarks(const std::vector<uint8_t>& bytes, uint32_t scriptSize, ReadRuns* runs) {
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::string line;
  ReadRuns read;
  bool ok = std::getline(in, line) && line == kReadMarksHeader;
  while (ok && std::getline(in, line) && line != "end") {
    unsigned long long start = 0, end = 0;
    char tail = 0;
    ok = std::sscanf(line.c_str(), "%llu %llu%c", &start, &end, &tail) == 2 && start <= end && end <= scriptSize &&
         read.size() < kMaxReadRuns;
    if (ok) read.insert({uint32_t(start), uint32_t(end)});
  }
  if (!ok || line != "end") return false;
  runs->merge(read);
  return true;
}

}  // namespace

void LoadReadMarks(EngineState& state, std::string* problem) {
  problem->clear();
  ReaderState& reader = state.reader;
  std::vector<uint8_t> bytes;
  if (!IsRegularFile(reader.readMarksFile)) return;  // a story not read before
  std::string error;
  if (!ReadWholeFile(reader.readMarksFile, 64 << 20, &bytes, &error)) {
    *problem = error + "; starting with no page read";
    return;
  }
  ReadRuns runs;
  if (!ParseReadMarks(bytes, state.script.scriptSize, &runs)) {
    *problem = "the read marks in " + reader.readMarksFile + " are damaged; starting with no page read";
    return;
  }
  reader.readRuns = std::move(runs);
}

bool WriteReadMarks(const std::string& file, const ReadRuns& runs, uint32_t scriptSize, std::string* error) {
  if (file.empty()) return true;  // not kept
  // Another player of the same story may have marked pages since: its marks
  // stay. Damaged marks on disk are replaced by these.
  ReadRuns all = runs;
  std::vector<uint8_t> bytes;
  if (IsRegularFile(file) && ReadWholeFile(file, 64 << 20, &bytes, nullptr)) ParseReadMarks(bytes, scriptSize, &all);
  while (all.size() > kMaxReadRuns) all.erase(std::prev(all.end()));
  std::string text = std::string(kReadMarksHeader) + "\n";
  for (const auto& [start, end] : all) text += std::to_string(start) + " " + std::to_string(end) + "\n";
  text += "end\n";
  MakeFolders(file.substr(0, file.rfind('/')));
  return ReplaceFile(file, reinterpret_cast<const uint8_t*>(text.data()), text.size(), error);
}

}  // namespace ks

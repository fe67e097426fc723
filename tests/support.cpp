#include "support.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "save/save_file.h"
#include "script/label_index.h"
#include "script/script_file.h"
#include "platform/desktop/desktop_machine.h"

namespace ks::test {

// The tests' files and fonts are the desktop's.
[[maybe_unused]] const bool kDesktopMachine = (ks::UseMachine(&ks::Desktop()), true);

namespace fs = std::filesystem;

TempStory::TempStory(bool withData) {
  std::string pattern = (fs::temp_directory_path() / "ks-story-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  root_ = pattern;
  if (withData) fs::create_directory(root_ + "/DATA");
}

TempStory::~TempStory() {
  std::error_code ec;
  fs::permissions(root_ + "/DATA", fs::perms::owner_all, ec);  // a test may have made it read-only
  fs::remove_all(root_, ec);
}

void TempStory::Write(const std::string& relative, const std::string& bytes) const {
  const fs::path path = Path(relative);
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

void TempStory::Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
  Write(relative, std::string(bytes.begin(), bytes.end()));
}

std::string TempStory::Read(const std::string& relative) const { return ReadFile(Path(relative)); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Hex(const char* hex) {
  std::string out;
  for (; hex[0] && hex[1]; hex += 2) out += char(std::stoi(std::string(hex, 2), nullptr, 16));
  return out;
}

std::string Stderr(const std::function<void()>& run) {
  testing::internal::CaptureStderr();
  run();
  return testing::internal::GetCapturedStderr();
}

std::unique_ptr<EngineState> LoadedEngine(const TempStory& story, const std::string& script) {
  story.WriteScript(script);
  auto state = std::make_unique<EngineState>();
  state->storyRoot = story.root();
  std::string error;
  EXPECT_TRUE(LoadScript(*state, &error)) << error;
  BuildLabelIndex(*state);
  return state;
}

std::string PageString(const EngineState& state) {
  return std::string(state.page.pageText, strnlen(state.page.pageText, sizeof state.page.pageText));
}

std::string SavedFields(const EngineState& state) {
  const SaveRecord record = MakeSaveRecord(state);
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  while (n-- > 0) out += s;
  return out;
}

std::string Pages(int n) {
  std::string script;
  for (int i = 1; i <= n; ++i) script += "@Rp" + std::to_string(i) + "@E";
  return script;
}

bool WithFullDisk(size_t bytes, const std::function<bool()>& write) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool ok = write();
  setrlimit(RLIMIT_FSIZE, &old);
  return ok;
}

namespace {
template <typename Out>
void PutLe(Out& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<typename Out::value_type>(v >> (8 * i)));
}
}  // namespace

std::string WavBytes(uint32_t ms, double toneHz) {
  const uint32_t rate = 44100, samples = uint32_t(uint64_t(rate) * ms / 1000);
  std::string wav = "RIFF";
  PutLe(wav, 36 + samples * 2, 4);
  wav += "WAVEfmt ";
  for (const auto& [v, n] : {std::pair{16u, 4}, {1u, 2}, {1u, 2}, {rate, 4}, {rate * 2, 4}, {2u, 2}, {16u, 2}}) {
    PutLe(wav, v, n);  // PCM, mono, 16-bit
  }
  wav += "data";
  PutLe(wav, samples * 2, 4);
  for (uint32_t i = 0; i < samples; ++i) PutLe(wav, uint16_t(int16_t(12000 * std::sin(2 * M_PI * toneHz * i / rate))), 2);
  return wav;
}

std::vector<uint8_t> EncodeBmp(const Image& image, int bitsPerPixel, bool topDown) {
  std::vector<uint32_t> palette;
  std::map<uint32_t, uint8_t> indexOf;
  if (bitsPerPixel == 8) {
    for (uint32_t p : image.pixels) {
      if (indexOf.emplace(p, uint8_t(palette.size())).second) palette.push_back(p);
    }
  }
  const size_t rowBytes = (size_t(image.width) * size_t(bitsPerPixel) + 31) / 32 * 4;
  std::vector<uint8_t> pixels;
  for (int i = 0; i < image.height; ++i) {
    const uint32_t* src = image.pixels.data() + size_t(topDown ? i : image.height - 1 - i) * size_t(image.width);
    std::vector<uint8_t> row;
    for (int x = 0; x < image.width; ++x) {
      if (bitsPerPixel == 8) {
        row.push_back(indexOf[src[x]]);
      } else if (bitsPerPixel == 16) {  // 5 bits a channel: x1r5g5b5
        const uint32_t c = src[x];
        PutLe(row, ((c >> 19) & 0x1F) << 10 | ((c >> 11) & 0x1F) << 5 | ((c >> 3) & 0x1F), 2);
      } else {
        PutLe(row, src[x], bitsPerPixel / 8);
      }
    }
    row.resize(rowBytes);
    pixels.insert(pixels.end(), row.begin(), row.end());
  }
  const uint32_t offset = 14 + 40 + uint32_t(palette.size()) * 4;
  std::vector<uint8_t> out = {'B', 'M'};
  for (const auto& [v, n] : {std::pair{offset + uint32_t(pixels.size()), 4}, {0u, 4}, {offset, 4}, {40u, 4},
                             {uint32_t(image.width), 4}, {uint32_t(topDown ? -image.height : image.height), 4},
                             {1u, 2}, {uint32_t(bitsPerPixel), 2}, {0u, 4}, {uint32_t(pixels.size()), 4},
                             {2835u, 4}, {2835u, 4}, {uint32_t(palette.size()), 4}, {0u, 4}}) {
    PutLe(out, v, n);
  }
  for (uint32_t c : palette) PutLe(out, c, 4);  // B, G, R, 0
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

Image SolidImage(int width, int height, uint32_t rgb) {
  return Image{width, height, std::vector<uint32_t>(size_t(width) * size_t(height), rgb)};
}

DeviceId RecordingAudio::Open(AudioChannel channel, const std::string& path) {
  static const char* const kNames[] = {"music", "loop", "oneshot", "page"};
  const DeviceId id = access(path.c_str(), R_OK) == 0 ? next_++ : kNoDevice;
  calls.push_back(std::string("open ") + kNames[int(channel)] + " " + fs::path(path).filename().string() + " = " +
                  std::to_string(id));
  return id;
}

void RecordingAudio::Play(DeviceId device, bool notify) {
  calls.push_back("play " + std::to_string(device) + (notify ? " notify" : ""));
}

void RecordingAudio::Stop(DeviceId device) { calls.push_back("stop " + std::to_string(device)); }

void RecordingAudio::Close(DeviceId device) { calls.push_back("close " + std::to_string(device)); }

void StoryPlayer::Start(const std::string& script) {
  if (!script.empty()) story_.WriteScript(script);
  state_.storyRoot = story_.root();
  std::string error;
  ASSERT_TRUE(StartUp(state_, platform_, &error)) << error;
}

bool StoryPlayer::Frames(const std::string& tokens) {
  std::vector<KeyToken> parsed;
  std::string error;
  EXPECT_TRUE(ParseKeyTokens(tokens, &parsed, &error)) << error;
  for (const KeyToken& token : parsed) {
    platform_.SetKeys(token);
    const uint64_t before = platform_.processed();
    while (platform_.processed() == before) {
      if (!MainLoopStep(state_, platform_)) return false;
    }
  }
  return true;
}

int StoryPlayer::CountShown(int left, int top, int right, int bottom, uint32_t rgb) const {
  int count = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) count += Shown(x, y) == rgb;
  }
  return count;
}

std::string StoryPlayer::Summary() const {
  const ScreenState& s = state_.screen;
  std::string out = "mode=" + std::to_string(s.uiMode) + " cursor=" + std::to_string(s.cursor) +
                    " page=" + PageString(state_);
  for (const auto& [flag, name] : {std::pair{s.savedNotice, " saved"}, {s.loadedNotice, " loaded"}, {s.saveFailedNotice, " savefailed"},
                                   {s.titleNotice, " title"}, {s.quitRequested, " quit"}, {s.fadeActive, " fade"}}) {
    if (flag) out += name;
  }
  return out;
}

}  // namespace ks::test

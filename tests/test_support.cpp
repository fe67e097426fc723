#include "test_support.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "script/label_index.h"
#include "script/script_file.h"

namespace ks::test {

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

std::vector<uint8_t> TempStory::Read(const std::string& relative) const {
  std::ifstream in(Path(relative), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

std::string WavBytes(uint32_t ms, double toneHz) {
  const uint32_t rate = 44100, samples = uint32_t(uint64_t(rate) * ms / 1000);
  std::string wav;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wav += char(v >> (8 * i)); };
  auto u16 = [&](uint32_t v) { for (int i = 0; i < 2; ++i) wav += char(v >> (8 * i)); };
  wav += "RIFF";
  u32(36 + samples * 2);
  wav += "WAVEfmt ";
  u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);  // PCM, mono, 16-bit
  wav += "data";
  u32(samples * 2);
  for (uint32_t i = 0; i < samples; ++i) {
    u16(uint16_t(int16_t(12000 * std::sin(2 * M_PI * toneHz * i / rate))));
  }
  return wav;
}

namespace {
const char* ChannelName(AudioChannel channel) {
  switch (channel) {
    case AudioChannel::kMusic: return "music";
    case AudioChannel::kLoopEffect: return "loop";
    case AudioChannel::kOneShotEffect: return "oneshot";
    case AudioChannel::kPageSound: return "page";
  }
  return "?";
}
}  // namespace

DeviceId RecordingAudio::Open(AudioChannel channel, const std::string& path) {
  const DeviceId id = access(path.c_str(), R_OK) == 0 ? next_++ : kNoDevice;
  calls.push_back(std::string("open ") + ChannelName(channel) + " " + fs::path(path).filename().string() +
                  " = " + std::to_string(id));
  return id;
}

void RecordingAudio::Play(DeviceId device, bool notify) {
  calls.push_back("play " + std::to_string(device) + (notify ? " notify" : ""));
}

void RecordingAudio::Stop(DeviceId device) { calls.push_back("stop " + std::to_string(device)); }

void RecordingAudio::Close(DeviceId device) { calls.push_back("close " + std::to_string(device)); }

}  // namespace ks::test

// What the tests share: story folders, engines, WAV and BMP files, a recording audio device.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/engine_state.h"
#include "engine/main_loop.h"
#include "core/audio_device.h"
#include "platform/headless/headless_platform.h"
#include "present/bmp_decode.h"

namespace ks::test {

// A fresh temporary folder, with DATA/ unless told otherwise; removed when the object goes.
class TempStory {
 public:
  explicit TempStory(bool withData = true);
  ~TempStory();
  TempStory(const TempStory&) = delete;
  TempStory& operator=(const TempStory&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  void Write(const std::string& relative, const std::string& bytes) const;
  void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
  std::string Read(const std::string& relative) const;
  void WriteScript(const std::string& script) const { Write("DATA/Script.txt", script); }

 private:
  std::string root_;
};

// An engine whose story folder is `story`, with `script` loaded and indexed.
std::unique_ptr<EngineState> LoadedEngine(const TempStory& story, const std::string& script);

// The bytes of the file at `path` (or ""); bytes from hex ("4d54": "MT"); what `run` says on stderr.
std::string ReadFile(const std::string& path);
std::string Hex(const char* hex);
std::string Stderr(const std::function<void()>& run);

// The page text up to its NUL; `s` `n` times; "@Rp1@E@Rp2@E..." up to p`n`.
std::string PageString(const EngineState& state);
std::string SavedFields(const EngineState& state);  // the save record of `state`, as bytes
std::string Repeat(const std::string& s, int n);
std::string Pages(int n);

// Runs `write` as on a disk full after `bytes` bytes of any file; returns what it returned.
bool WithFullDisk(size_t bytes, const std::function<bool()>& write);

// A 44.1 kHz 16-bit mono WAV lasting `ms`: silence, or a sine of `toneHz`.
std::string WavBytes(uint32_t ms, double toneHz = 0);

// A Windows bitmap of `image` at 8 (palette), 16 (x1r5g5b5), 24 or 32 bits, either row order.
std::vector<uint8_t> EncodeBmp(const Image& image, int bitsPerPixel, bool topDown = false);
Image SolidImage(int width, int height, uint32_t rgb);

// Records calls as "open music a.wav = 1", "play 1 notify", "stop 1", "close 1"; files that exist open.
class RecordingAudio : public AudioDevice {
 public:
  DeviceId Open(AudioChannel channel, const std::string& path) override;
  void Play(DeviceId device, bool notify) override;
  void Stop(DeviceId device) override;
  void Close(DeviceId device) override;

  std::vector<std::string> calls;

 private:
  DeviceId next_ = 1;
};

// A whole story through the player's start-up and main loop, headless, a frame at a time.
class StoryPlayer {
 public:
  // Writes `script` (unless empty) and starts the player on the story folder.
  void Start(const std::string& script = "");
  // Runs processed frames with replay-tool key tokens ("E", "D", ". E*3").
  // Returns false when the main loop ended instead.
  bool Frames(const std::string& tokens = ".");
  // Frames(tokens), then Summary() or the page's text; "ended" when the loop ended.
  std::string After(const std::string& tokens) { return Frames(tokens) ? Summary() : "ended"; }
  std::string PageAfter(const std::string& tokens) { return Frames(tokens) ? PageString(state_) : "ended"; }
  // A pixel of the visible picture, and how many pixels in `box` are `rgb`.
  uint32_t Shown(int x, int y) const { return state_.display.primarySurface.Row(y)[x]; }
  int CountShown(int left, int top, int right, int bottom, uint32_t rgb) const;
  // "mode=M cursor=C page=TEXT" and the flags that are set, for comparisons.
  std::string Summary() const;

  TempStory story_;
  EngineState state_;
  HeadlessPlatform platform_;
};

class FrameTest : public ::testing::Test, public StoryPlayer {};

}  // namespace ks::test

// Shared by the unit tests: a throw-away story folder, an engine loaded from
// it, and an audio device that records what the core asks of it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "platform/audio_device.h"

namespace ks::test {

// A fresh folder under the system's temp folder, with DATA/ in it unless told
// otherwise; removed with everything in it when the object goes.
class TempStory {
 public:
  explicit TempStory(bool withData = true);
  ~TempStory();
  TempStory(const TempStory&) = delete;
  TempStory& operator=(const TempStory&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  // Writes `bytes` to `relative` inside the folder.
  void Write(const std::string& relative, const std::string& bytes) const;
  void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
  std::vector<uint8_t> Read(const std::string& relative) const;
  void WriteScript(const std::string& script) const { Write("DATA/Script.txt", script); }

 private:
  std::string root_;
};

// An engine whose story folder is `story`, with `script` loaded and indexed.
std::unique_ptr<EngineState> LoadedEngine(const TempStory& story, const std::string& script);

// The page text up to its NUL.
std::string PageString(const EngineState& state);

// A 44.1 kHz 16-bit mono WAV file lasting `ms` milliseconds: silence, or a
// sine tone of `toneHz`.
std::string WavBytes(uint32_t ms, double toneHz = 0);

// Records every call as a line: "open music a.wav = 1", "play 1 notify",
// "play 2", "stop 1", "close 1". A file opens when it exists.
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

}  // namespace ks::test

// Audio without sound, on a virtual clock: a WAV file lasts as long as its
// header says, and a device played with `notify` reports its completion when
// the clock passes its end. A file whose length cannot be read (not a WAV)
// plays forever; a missing file, or one whose header the player refuses
// (CheckSoundFile), does not open.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "core/audio_device.h"

namespace ks {

// The playing time of a RIFF WAVE file in milliseconds, from its format and
// data chunks; nothing when it is not one.
std::optional<uint32_t> WavLengthMs(const std::string& path);

class SimulatedAudio : public AudioDevice {
 public:
  // Notices go into `notices`; `now` is the clock they are timed on.
  SimulatedAudio(const uint32_t& now, std::deque<PlaybackNotice>& notices) : now_(now), notices_(notices) {}

  DeviceId Open(AudioChannel channel, const std::string& path) override;
  void Play(DeviceId device, bool notify) override;
  void Stop(DeviceId device) override;
  void Close(DeviceId device) override;
  bool IsPlaying(DeviceId device) const override;

  // When the next playing device ends, if one ever does.
  std::optional<uint32_t> NextEnd() const;
  // Ends every device whose end is due by now, queueing its notice, and
  // lets the card rest after the silence.
  void FinishDue();

  // How many times a channel began playing from its start.
  int starts(AudioChannel channel) const { return starts_[int(channel)]; }
  // Whether any device of `channel` is playing now.
  bool IsPlaying(AudioChannel channel) const;
  // Whether the simulated sound card is open, and how often it opened.
  bool cardOpen() const { return card_.open(); }
  int cardOpens() const { return cardOpens_; }

 private:
  struct Device {
    AudioChannel channel;
    std::optional<uint32_t> lengthMs;
    bool playing = false;
    bool notify = false;
    uint32_t startedAt = 0;
  };
  void Interrupt(DeviceId id, Device& device);

  const uint32_t& now_;
  std::deque<PlaybackNotice>& notices_;
  std::map<DeviceId, Device> devices_;
  DeviceId next_ = 1;
  std::set<std::string> refused_;  // sound files refused and reported
  int starts_[kAudioChannelCount] = {};
  CardRest card_;
  int cardOpens_ = 0;
};

}  // namespace ks

// The audio half of the platform seam. The sound channels of the core drive a
// device through these four calls; the SDL player plays through SDL_mixer, the
// headless platform simulates time, and unit tests record the calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace ks {

// Where a sound plays: music has the music stream, each effect its own channel.
enum class AudioChannel { kMusic, kLoopEffect, kOneShotEffect, kPageSound };
inline constexpr int kAudioChannelCount = 4;

// Names one opened sound. Ids are never reused, so a notice that arrives
// after its device was closed cannot be mistaken for a later device.
using DeviceId = uint32_t;
inline constexpr DeviceId kNoDevice = 0;

// Sent back through the platform's message queue when a device that was
// played with `notify` stops. `completed` is true only when it played to its
// end; a stop, a close or a replay never reports completion.
struct PlaybackNotice {
  DeviceId device = kNoDevice;
  bool completed = false;
};

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  // Opens the file at `path` on `channel`. Returns a fresh id, or kNoDevice
  // when the file does not open (missing, unreadable, not a sound).
  virtual DeviceId Open(AudioChannel channel, const std::string& path) = 0;
  // Plays an open device from its start; with `notify`, a PlaybackNotice
  // follows when it ends. Unknown ids are ignored.
  virtual void Play(DeviceId device, bool notify) = 0;
  // Stops a device; it stays open. Unknown ids are ignored.
  virtual void Stop(DeviceId device) = 0;
  // Closes a device; its id is dead from then on. Unknown ids are ignored.
  virtual void Close(DeviceId device) = 0;
  // Whether a device is playing now.
  virtual bool IsPlaying(DeviceId device) const {
    (void)device;
    return false;
  }
  // The loudness of everything, 0 (silent) to 100 (as the files are).
  virtual void SetVolume(int percent) { (void)percent; }
};

// The sound card rests while nothing sounds: once no channel has sounded
// for kCardRestMs it is closed, so that no thread wakes to mix silence while
// a page waits, and the next sound opens it again before it starts. Each
// audio device keeps one on its own clock (virtual in the headless one).
inline constexpr uint32_t kCardRestMs = 2000;

class CardRest {
 public:
  // A sound is about to start. Returns true when the card rests and must be
  // opened first.
  bool Wake() {
    quiet_ = false;
    return !std::exchange(open_, true);
  }
  // Told at `now` whether any channel sounds. Returns true when the card
  // has been silent for kCardRestMs and must be closed now; it rests from then.
  bool Rest(uint32_t now, bool sounding) {
    if (!open_ || sounding) {
      quiet_ = false;
      return false;
    }
    if (!std::exchange(quiet_, true)) quietSince_ = now;
    if (now - quietSince_ < kCardRestMs) return false;
    open_ = quiet_ = false;
    return true;
  }
  // When the card closes if nothing sounds until then.
  std::optional<uint32_t> RestAt() const {
    return open_ && quiet_ ? std::optional<uint32_t>(quietSince_ + kCardRestMs) : std::nullopt;
  }
  bool open() const { return open_; }

 private:
  bool open_ = false;
  bool quiet_ = false;  // nothing sounded since quietSince_
  uint32_t quietSince_ = 0;
};

}  // namespace ks

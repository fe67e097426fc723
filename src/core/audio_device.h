// The audio half of the platform seam. The sound channels of the core drive a
// device through these four calls; the SDL player plays through SDL_mixer, the
// headless platform simulates time, and unit tests record the calls.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace ks

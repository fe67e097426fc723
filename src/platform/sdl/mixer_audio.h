// The audio device on SDL_mixer: music on the music stream, each effect and
// the page sound on a mixer channel of its own.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "core/audio_device.h"

struct _Mix_Music;
struct Mix_Chunk;

namespace ks {

class MixerAudio : public AudioDevice {
 public:
  ~MixerAudio() override;

  // Opens the sound card. Completion notices are pushed as SDL user events
  // of type `noticeEvent`: code 1 when the sound played to its end, 0 when it
  // was stopped, and data1 the device id. Without a sound card every sound
  // fails to open, and the first one asked for says so once on stderr.
  // Sounds opened and played before are loaded now, and what was asked to
  // play starts now, from its beginning.
  void OpenDevice(uint32_t noticeEvent);
  void CloseDevice();

  // Reads a notice event back.
  static PlaybackNotice NoticeOf(const void* sdlEvent);

  // A file whose header CheckSoundFile refuses never reaches SDL_mixer: it
  // is reported once on stderr and does not open.
  DeviceId Open(AudioChannel channel, const std::string& path) override;
  void Play(DeviceId device, bool notify) override;
  void Stop(DeviceId device) override;
  void Close(DeviceId device) override;
  bool IsPlaying(DeviceId device) const override;
  void SetVolume(int percent) override;

 private:
  struct Sound {
    AudioChannel channel;
    std::string path;
    _Mix_Music* music = nullptr;
    Mix_Chunk* chunk = nullptr;
  };
  void Load(Sound& sound);
  void Halt(AudioChannel channel);

  bool open_ = false;
  bool tried_ = false;  // OpenDevice was called
  // Before the device is open: what each channel was last asked to play.
  struct Waiting {
    DeviceId device = kNoDevice;
    bool notify = false;
  };
  Waiting waiting_[kAudioChannelCount];
  int volume_ = 128;  // SDL_mixer's scale, 0 to 128
  std::string missing_;  // why there is no sound card, until it is said
  std::set<std::string> refused_;  // sound files refused and reported
  std::map<DeviceId, Sound> sounds_;
  DeviceId next_ = 1;
};

}  // namespace ks

// The audio device on SDL_mixer: music on the music stream, each effect and
// the page sound on a mixer channel of its own. SDL_mixer is driven from a
// thread of its own: opening a long piece of music or decoding an effect
// whole can take seconds, and SDL_mixer holds the audio lock while it
// decodes an effect, so the main loop never calls it and never waits.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "core/audio_device.h"

namespace ks {

class MixerAudio : public AudioDevice {
 public:
  ~MixerAudio() override;

  // Makes the device ready to play. Completion notices are pushed as SDL
  // user events of type `noticeEvent`: code 1 when the sound played to its
  // end, 0 when it was stopped, and data1 the device id. Without a sound card
  // every sound fails to open, and the first one asked for says so once on
  // stderr. Sounds opened and played before are loaded now, and what was
  // asked to play starts now, from its beginning. The card itself opens with
  // the first sound and rests after kCardRestMs of silence (CardRest).
  void OpenDevice(uint32_t noticeEvent);
  // Lets every sound go and closes the card. `leaving`: the process ends
  // next, so the card is only silenced (paused, no sound left on it) and
  // left open for the process's end to let go: closing it waits while SDL
  // plays out two more buffers, some fifty milliseconds nobody would hear.
  void CloseDevice(bool leaving = false);
  // Whether CloseDevice(true) left the card open.
  bool CardLeftOpen() const { return leftOpen_; }

  // Reads a notice event back.
  static PlaybackNotice NoticeOf(const void* sdlEvent);

  // A file whose header CheckSoundFile refuses never reaches SDL_mixer: it
  // is reported once on stderr and does not open. Any other file is opened
  // on the mixer's thread: a play asked for meanwhile starts, from its
  // beginning, once it is open, and counts as playing until then. A file
  // SDL_mixer cannot play says "cannot play PATH: why" once and is silent.
  DeviceId Open(AudioChannel channel, const std::string& path) override;
  void Play(DeviceId device, bool notify) override;
  void Stop(DeviceId device) override;
  void Close(DeviceId device) override;
  bool IsPlaying(DeviceId device) const override;
  void SetVolume(int percent) override;

  // An effect is decoded whole before it plays; one longer than this (10
  // minutes unless set) is cut there, with one line on stderr.
  void SetEffectLimit(int seconds);
  // Whether `device` is still being opened on the mixer's thread.
  bool Opening(DeviceId device) const;
  // Waits until the mixer's thread has done everything asked of it.
  void Settle();

  struct Load;  // one file, opened on the mixer's thread

 private:
  struct Sound {
    AudioChannel channel;
    std::shared_ptr<Load> load;
  };
  void Post(int command, DeviceId device, const Sound& sound);

  bool open_ = false;
  bool tried_ = false;  // OpenDevice was called
  bool leftOpen_ = false;  // CloseDevice(true) left the card to the process's end
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

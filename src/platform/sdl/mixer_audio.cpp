// SDL_mixer calls the same hook when a sound ends and when it is halted, and
// calls it from the audio thread for an ending. The hooks here only push an
// SDL event; the main thread turns it into a playback notice. A halt is told
// from an ending by a mark set, like the hooks' own work, under the audio
// lock, so a stop can never be mistaken for a completion.
#include "platform/sdl/mixer_audio.h"

#include <SDL.h>
#include <algorithm>
#include <SDL_mixer.h>

#include "engine/report.h"
#include "platform/sdl/quiet_stderr.h"
#include "sound/sound_check.h"


namespace ks {
namespace {

constexpr int kChannels = kAudioChannelCount;

// What each channel is playing, read by the hooks. Guarded by the audio lock.
struct ChannelState {
  DeviceId device = kNoDevice;
  bool notify = false;
  bool halting = false;
};
ChannelState gChannels[kChannels];
uint32_t gNoticeEvent = 0;

// SDL_mixer plays through one SDL audio device and runs its hooks holding
// that device's lock. Our own sections take the same lock.
SDL_AudioDeviceID gDevice = 0;
struct AudioLock {
  AudioLock() { SDL_LockAudioDevice(gDevice); }
  ~AudioLock() { SDL_UnlockAudioDevice(gDevice); }
};

// The device SDL_mixer opened: the only one of ours that is not stopped.
SDL_AudioDeviceID FindMixerDevice() {
  for (SDL_AudioDeviceID id = 1; id < 64; ++id) {
    if (SDL_GetAudioDeviceStatus(id) != SDL_AUDIO_STOPPED) return id;
  }
  return 0;
}

// The mixer channel of each effect; music has the music stream.
int MixerChannelOf(AudioChannel channel) { return int(channel) - 1; }

void Finished(int channel) {
  ChannelState& state = gChannels[channel];
  const DeviceId device = state.device;
  state.device = kNoDevice;
  if (device == kNoDevice || !state.notify) return;
  SDL_Event event{};
  event.type = gNoticeEvent;
  event.user.code = state.halting ? 0 : 1;
  event.user.data1 = reinterpret_cast<void*>(uintptr_t(device));
  SDL_PushEvent(&event);
}

void SDLCALL OnMusicFinished() { Finished(int(AudioChannel::kMusic)); }
void SDLCALL OnChannelFinished(int mixerChannel) {
  if (mixerChannel >= 0 && mixerChannel + 1 < kChannels) Finished(mixerChannel + 1);
}

}  // namespace

MixerAudio::~MixerAudio() { CloseDevice(); }

void MixerAudio::OpenDevice(uint32_t noticeEvent) {
  gNoticeEvent = noticeEvent;
  Mix_Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC);
  bool opened = false;
  {
    const QuietStderr quiet;
    opened = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 && Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) == 0;
  }
  if (!opened) {
    missing_ = *SDL_GetError() ? SDL_GetError() : "SDL gives no reason";
    return;
  }
  gDevice = FindMixerDevice();
  if (gDevice == 0) {
    Mix_CloseAudio();
    missing_ = "SDL_mixer's audio device cannot be found";
    return;
  }
  Mix_AllocateChannels(kChannels - 1);
  Mix_MasterVolume(volume_);
  Mix_VolumeMusic(volume_);
  Mix_HookMusicFinished(OnMusicFinished);
  Mix_ChannelFinished(OnChannelFinished);
  open_ = true;
}

void MixerAudio::CloseDevice() {
  if (!open_) return;
  while (!sounds_.empty()) Close(sounds_.begin()->first);
  Mix_HookMusicFinished(nullptr);
  Mix_ChannelFinished(nullptr);
  Mix_CloseAudio();
  Mix_Quit();
  open_ = false;
}

PlaybackNotice MixerAudio::NoticeOf(const void* sdlEvent) {
  const auto* event = static_cast<const SDL_Event*>(sdlEvent);
  return {DeviceId(reinterpret_cast<uintptr_t>(event->user.data1)), event->user.code == 1};
}

DeviceId MixerAudio::Open(AudioChannel channel, const std::string& path) {
  if (!open_) {
    if (!missing_.empty()) Report("no audio device (" + missing_ + "): playing without sound");
    missing_.clear();
    return kNoDevice;
  }
  // SDL and SDL_mixer trust a sound's header: a bad one is refused here.
  if (!SoundFileMayOpen(path, &refused_)) return kNoDevice;
  Sound sound{channel};
  if (channel == AudioChannel::kMusic) {
    sound.music = Mix_LoadMUS(path.c_str());
    if (!sound.music) return kNoDevice;
  } else {
    sound.chunk = Mix_LoadWAV(path.c_str());
    if (!sound.chunk) return kNoDevice;
  }
  const DeviceId id = next_++;
  sounds_[id] = sound;
  return id;
}

void MixerAudio::Halt(AudioChannel channel) {
  const AudioLock lock;
  gChannels[int(channel)].halting = true;
  if (channel == AudioChannel::kMusic) {
    Mix_HaltMusic();
  } else {
    Mix_HaltChannel(MixerChannelOf(channel));
  }
  gChannels[int(channel)].halting = false;
  gChannels[int(channel)].device = kNoDevice;
}

void MixerAudio::Play(DeviceId device, bool notify) {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return;
  const Sound& sound = it->second;
  Halt(sound.channel);  // whatever played there is superseded
  const AudioLock lock;
  gChannels[int(sound.channel)] = {device, notify, false};
  const bool started = sound.music ? Mix_PlayMusic(sound.music, 0) == 0
                                   : Mix_PlayChannel(MixerChannelOf(sound.channel), sound.chunk, 0) >= 0;
  if (!started) gChannels[int(sound.channel)].device = kNoDevice;
}

void MixerAudio::Stop(DeviceId device) {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return;
  bool playing = false;
  {
    const AudioLock lock;
    playing = gChannels[int(it->second.channel)].device == device;
  }
  if (playing) Halt(it->second.channel);
}

void MixerAudio::Close(DeviceId device) {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return;
  Stop(device);
  if (it->second.music) Mix_FreeMusic(it->second.music);
  if (it->second.chunk) Mix_FreeChunk(it->second.chunk);
  sounds_.erase(it);
}

bool MixerAudio::IsPlaying(DeviceId device) const {
  const auto it = sounds_.find(device);
  if (it == sounds_.end() || !open_) return false;
  const AudioLock lock;
  return gChannels[int(it->second.channel)].device == device;
}

void MixerAudio::SetVolume(int percent) {
  volume_ = std::clamp(percent, 0, 100) * MIX_MAX_VOLUME / 100;
  if (!open_) return;
  Mix_MasterVolume(volume_);
  Mix_VolumeMusic(volume_);
}

}  // namespace ks

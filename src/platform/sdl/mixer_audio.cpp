// SDL_mixer calls the same hook when a sound ends and when it is halted, and
// calls it from the audio thread for an ending. The hooks here only push an
// SDL event; the main thread turns it into a playback notice. A halt is told
// from an ending by a mark set, like the hooks' own work, under the audio
// lock, so a stop can never be mistaken for a completion.
#include "platform/sdl/mixer_audio.h"

#include <SDL.h>
#include <algorithm>
#include <utility>
#include <SDL_mixer.h>
#include <dlfcn.h>

#include <type_traits>

#include "core/report.h"
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

// SDL_mixer and the decoders it brings (some thirty libraries, a few
// megabytes) are loaded when the sound card opens, after the first picture,
// not when the program starts.
struct MixerLibrary {
  void* handle = nullptr;
  decltype(&Mix_Init) Init = nullptr;
  decltype(&Mix_Quit) Quit = nullptr;
  decltype(&Mix_OpenAudio) OpenAudio = nullptr;
  decltype(&Mix_CloseAudio) CloseAudio = nullptr;
  decltype(&Mix_AllocateChannels) AllocateChannels = nullptr;
  decltype(&Mix_MasterVolume) MasterVolume = nullptr;
  decltype(&Mix_VolumeMusic) VolumeMusic = nullptr;
  decltype(&Mix_HookMusicFinished) HookMusicFinished = nullptr;
  decltype(&Mix_ChannelFinished) ChannelFinished = nullptr;
  decltype(&Mix_LoadMUS) LoadMUS = nullptr;
  decltype(&Mix_LoadWAV_RW) LoadWAV_RW = nullptr;
  decltype(&Mix_HaltMusic) HaltMusic = nullptr;
  decltype(&Mix_HaltChannel) HaltChannel = nullptr;
  decltype(&Mix_PlayMusic) PlayMusic = nullptr;
  decltype(&Mix_PlayChannelTimed) PlayChannelTimed = nullptr;
  decltype(&Mix_FreeMusic) FreeMusic = nullptr;
  decltype(&Mix_FreeChunk) FreeChunk = nullptr;

  // Loads the library. Returns false with a reason.
  bool Load(std::string* why) {
    if (handle) return true;
    handle = dlopen("libSDL2_mixer-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      *why = dlerror();
      return false;
    }
    bool all = true;
    auto find = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
      all = all && fn;
    };
    find(Init, "Mix_Init");
    find(Quit, "Mix_Quit");
    find(OpenAudio, "Mix_OpenAudio");
    find(CloseAudio, "Mix_CloseAudio");
    find(AllocateChannels, "Mix_AllocateChannels");
    find(MasterVolume, "Mix_MasterVolume");
    find(VolumeMusic, "Mix_VolumeMusic");
    find(HookMusicFinished, "Mix_HookMusicFinished");
    find(ChannelFinished, "Mix_ChannelFinished");
    find(LoadMUS, "Mix_LoadMUS");
    find(LoadWAV_RW, "Mix_LoadWAV_RW");
    find(HaltMusic, "Mix_HaltMusic");
    find(HaltChannel, "Mix_HaltChannel");
    find(PlayMusic, "Mix_PlayMusic");
    find(PlayChannelTimed, "Mix_PlayChannelTimed");
    find(FreeMusic, "Mix_FreeMusic");
    find(FreeChunk, "Mix_FreeChunk");
    if (!all) *why = "libSDL2_mixer-2.0.so.0 lacks a function this player uses";
    return all;
  }
};
MixerLibrary gMix;

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
  tried_ = true;
  gNoticeEvent = noticeEvent;
  // SDL's own audio first: without a sound card SDL_mixer (and the thirty
  // libraries it brings) is never loaded, and SDL's audio is let go again,
  // with the thread it keeps to look for cards coming and going.
  bool opened = false;
  {
    const QuietStderr quiet;
    SDL_AudioSpec want{}, have{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    opened = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    const SDL_AudioDeviceID probe = opened ? SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0) : 0;
    if (probe != 0) SDL_CloseAudioDevice(probe);
    opened = probe != 0 && gMix.Load(&missing_);
    if (opened) {
      gMix.Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC);
      opened = gMix.OpenAudio(44100, AUDIO_S16SYS, 2, 1024) == 0;
    }
  }
  if (!opened) {
    if (missing_.empty()) missing_ = *SDL_GetError() ? SDL_GetError() : "SDL gives no reason";
    if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return;
  }
  gDevice = FindMixerDevice();
  if (gDevice == 0) {
    gMix.CloseAudio();
    missing_ = "SDL_mixer's audio device cannot be found";
    return;
  }
  gMix.AllocateChannels(kChannels - 1);
  gMix.MasterVolume(volume_);
  gMix.VolumeMusic(volume_);
  gMix.HookMusicFinished(OnMusicFinished);
  gMix.ChannelFinished(OnChannelFinished);
  open_ = true;
  // What the story asked for while the device was opening.
  for (auto& [id, sound] : sounds_) Load(sound);
  for (Waiting& waiting : waiting_) {
    if (waiting.device != kNoDevice) Play(std::exchange(waiting.device, kNoDevice), waiting.notify);
  }
}

void MixerAudio::CloseDevice() {
  if (!open_) {
    sounds_.clear();
    return;
  }
  while (!sounds_.empty()) Close(sounds_.begin()->first);
  gMix.HookMusicFinished(nullptr);
  gMix.ChannelFinished(nullptr);
  gMix.CloseAudio();
  gMix.Quit();
  open_ = false;
}

PlaybackNotice MixerAudio::NoticeOf(const void* sdlEvent) {
  const auto* event = static_cast<const SDL_Event*>(sdlEvent);
  return {DeviceId(reinterpret_cast<uintptr_t>(event->user.data1)), event->user.code == 1};
}

void MixerAudio::Load(Sound& sound) {
  if (sound.music || sound.chunk) return;
  if (sound.channel == AudioChannel::kMusic) {
    sound.music = gMix.LoadMUS(sound.path.c_str());
  } else {
    sound.chunk = gMix.LoadWAV_RW(SDL_RWFromFile(sound.path.c_str(), "rb"), 1);
  }
}

DeviceId MixerAudio::Open(AudioChannel channel, const std::string& path) {
  if (tried_ && !open_) {
    if (!missing_.empty()) Report("no audio device (" + missing_ + "): playing without sound");
    missing_.clear();
    return kNoDevice;
  }
  // SDL and SDL_mixer trust a sound's header: a bad one is refused here.
  if (!SoundFileMayOpen(path, &refused_)) return kNoDevice;
  Sound sound{channel, path};
  if (open_) {
    Load(sound);
    if (!sound.music && !sound.chunk) return kNoDevice;
  }
  const DeviceId id = next_++;
  sounds_[id] = sound;
  return id;
}

void MixerAudio::Halt(AudioChannel channel) {
  const AudioLock lock;
  gChannels[int(channel)].halting = true;
  if (channel == AudioChannel::kMusic) {
    gMix.HaltMusic();
  } else {
    gMix.HaltChannel(MixerChannelOf(channel));
  }
  gChannels[int(channel)].halting = false;
  gChannels[int(channel)].device = kNoDevice;
}

void MixerAudio::Play(DeviceId device, bool notify) {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return;
  const Sound& sound = it->second;
  if (!open_) {
    waiting_[int(sound.channel)] = {device, notify};  // played once the device is open
    return;
  }
  if (!sound.music && !sound.chunk) return;  // it did not load
  Halt(sound.channel);  // whatever played there is superseded
  const AudioLock lock;
  gChannels[int(sound.channel)] = {device, notify, false};
  const bool started = sound.music ? gMix.PlayMusic(sound.music, 0) == 0
                                   : gMix.PlayChannelTimed(MixerChannelOf(sound.channel), sound.chunk, 0, -1) >= 0;
  if (!started) gChannels[int(sound.channel)].device = kNoDevice;
}

void MixerAudio::Stop(DeviceId device) {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return;
  if (!open_) {
    Waiting& waiting = waiting_[int(it->second.channel)];
    if (waiting.device == device) waiting.device = kNoDevice;
    return;
  }
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
  if (it->second.music) gMix.FreeMusic(it->second.music);
  if (it->second.chunk) gMix.FreeChunk(it->second.chunk);
  sounds_.erase(it);
}

bool MixerAudio::IsPlaying(DeviceId device) const {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return false;
  if (!open_) return waiting_[int(it->second.channel)].device == device;
  const AudioLock lock;
  return gChannels[int(it->second.channel)].device == device;
}

void MixerAudio::SetVolume(int percent) {
  volume_ = std::clamp(percent, 0, 100) * MIX_MAX_VOLUME / 100;
  if (!open_) return;
  gMix.MasterVolume(volume_);
  gMix.VolumeMusic(volume_);
}

}  // namespace ks

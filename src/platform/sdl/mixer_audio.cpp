// SDL_mixer calls the same hook when a sound ends and when it is halted, and
// calls it from the audio thread for an ending. The hooks here only push an
// SDL event; the main thread turns it into a playback notice. A halt is told
// from an ending by a mark set before the halt, so a stop can never be
// mistaken for a completion.
//
// Every SDL_mixer call is made on one thread of ours, the mixer's thread,
// which takes the main loop's requests from a queue in order. The main loop
// keeps what each channel should be playing ("wanted") and answers IsPlaying
// from it; the mixer's thread keeps what the channel is sounding. Both sit
// under one mutex that is never held across an SDL_mixer call (the hooks
// take it inside SDL_mixer's audio lock, so the order is always audio lock,
// then ours).
//
// The sound card rests after a silence (CardRest): the mixer's thread frees
// every sound it has loaded, closes SDL_mixer and SDL's audio, and sleeps
// until a request comes; a sound loaded or played then opens the card again,
// and a sound loaded before the rest is loaded again when it is played. So
// while a page waits in silence no thread of the player wakes.
//
// An effect is decoded whole by SDL_mixer, which asks SDL's allocator for
// each piece of sound it decodes and keeps what it has when one is refused.
// SDL's allocator is wrapped (each call passed to the one it replaces) so
// that on the mixer's thread, while an effect decodes, pieces past the
// effect's length, or of an effect closed meanwhile, are refused.
#include "platform/sdl/mixer_audio.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/report.h"
#include "platform/sdl/quiet_stderr.h"
#include "sound/sound_check.h"

namespace ks {
namespace {

constexpr int kChannels = kAudioChannelCount;

// What each channel should play and what it sounds. Guarded by gMutex.
struct ChannelState {
  DeviceId wanted = kNoDevice;  // played and not yet ended or stopped
  bool notify = false;
  DeviceId sounding = kNoDevice;  // started in SDL_mixer and not yet ended
  bool halting = false;
};
std::mutex gMutex;
// The mixer's thread waits on it for a request, or a channel falling silent;
// never destroyed, as a thread left waiting at exit still holds it.
std::condition_variable& gWake = *new std::condition_variable;
ChannelState gChannels[kChannels];
uint32_t gNoticeEvent = 0;

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
  decltype(&Mix_LoadMUSType_RW) LoadMUSType_RW = nullptr;
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
    find(LoadMUSType_RW, "Mix_LoadMUSType_RW");
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
  DeviceId device = kNoDevice;
  bool completed = false, notify = false;
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    ChannelState& state = gChannels[channel];
    device = std::exchange(state.sounding, kNoDevice);
    if (device != kNoDevice && state.wanted == device) {  // not stopped or superseded
      completed = !state.halting;
      notify = state.notify;
      if (completed) state.wanted = kNoDevice;
    }
  }
  gWake.notify_one();  // the silence may begin
  if (!notify) return;
  SDL_Event event{};
  event.type = gNoticeEvent;
  event.user.code = completed ? 1 : 0;
  event.user.data1 = reinterpret_cast<void*>(uintptr_t(device));
  SDL_PushEvent(&event);
}

void SDLCALL OnMusicFinished() { Finished(int(AudioChannel::kMusic)); }
void SDLCALL OnChannelFinished(int mixerChannel) {
  if (mixerChannel >= 0 && mixerChannel + 1 < kChannels) Finished(mixerChannel + 1);
}

// What an effect being decoded on the mixer's thread may still take.
struct EffectBudget {
  uint64_t left = 0;
  const std::atomic<bool>* closed = nullptr;
  bool cut = false;
};
thread_local EffectBudget* tBudget = nullptr;
SDL_malloc_func gMalloc;
SDL_calloc_func gCalloc;
SDL_realloc_func gRealloc;
SDL_free_func gFree;

// Whether an allocation of `bytes` is refused to the effect being decoded:
// SDL_mixer decodes in pieces of a few kilobytes. The whole sound, copied
// out at the end, is one large block: never refused.
bool Refused(size_t bytes) {
  EffectBudget* budget = tBudget;
  if (!budget || bytes >= (64u << 10)) return false;
  budget->left -= std::min<uint64_t>(budget->left, bytes);
  if (budget->left > 0 && !budget->closed->load()) return false;
  budget->cut = true;
  return true;
}
void* SDLCALL BoundMalloc(size_t size) { return Refused(size) ? nullptr : gMalloc(size); }
void* SDLCALL BoundCalloc(size_t count, size_t size) { return Refused(count * size) ? nullptr : gCalloc(count, size); }
void* SDLCALL BoundRealloc(void* block, size_t size) { return Refused(size) ? nullptr : gRealloc(block, size); }
void SDLCALL PassFree(void* block) { gFree(block); }

void BoundSdlAllocator() {
  static bool done = false;
  if (std::exchange(done, true)) return;
  SDL_GetMemoryFunctions(&gMalloc, &gCalloc, &gRealloc, &gFree);
  SDL_SetMemoryFunctions(BoundMalloc, BoundCalloc, BoundRealloc, PassFree);
}

// The libraries' own messages (SDL's log, the MIDI synthesizer's warnings,
// which a chord of thousands of notes turns into tens of thousands of lines)
// are counted, not printed; the mixer's thread sums them up in one line.
std::atomic<unsigned> gLibraryLines{0};
void SDLCALL CountSdlLog(void*, int, SDL_LogPriority, const char*) { ++gLibraryLines; }
void CountSynthLog(int, const char*, void*) { ++gLibraryLines; }

void QuietLibraries() {
  SDL_LogSetOutputFunction(CountSdlLog, nullptr);
  // The synthesizer SDL_mixer brings, already loaded with it.
  void* synth = dlopen("libfluidsynth.so.3", RTLD_NOW | RTLD_NOLOAD);
  if (!synth) return;
  using LogFunction = void (*)(int, const char*, void*);
  using SetLog = LogFunction (*)(int, LogFunction, void*);
  if (auto set = reinterpret_cast<SetLog>(dlsym(synth, "fluid_set_log_function"))) {
    for (int level = 0; level < 5; ++level) set(level, CountSynthLog, nullptr);  // panic to debug
  }
  dlclose(synth);
}

// A file SDL_mixer reads through this: once its sound is closed, every read
// ends the file, so a library still opening it (a long scan for Ogg pages)
// gives up at once.
struct ClosableFile {
  SDL_RWops* file;
  const std::atomic<bool>* closed;
};
ClosableFile& Of(SDL_RWops* rw) { return *static_cast<ClosableFile*>(rw->hidden.unknown.data1); }
Sint64 SDLCALL FileSize(SDL_RWops* rw) { return SDL_RWsize(Of(rw).file); }
Sint64 SDLCALL FileSeek(SDL_RWops* rw, Sint64 offset, int whence) {
  return Of(rw).closed->load() ? -1 : SDL_RWseek(Of(rw).file, offset, whence);
}
size_t SDLCALL FileRead(SDL_RWops* rw, void* to, size_t size, size_t count) {
  return Of(rw).closed->load() ? 0 : SDL_RWread(Of(rw).file, to, size, count);
}
size_t SDLCALL FileWrite(SDL_RWops*, const void*, size_t, size_t) { return 0; }
int SDLCALL FileClose(SDL_RWops* rw) {
  const int result = SDL_RWclose(Of(rw).file);
  delete &Of(rw);
  SDL_FreeRW(rw);
  return result;
}
SDL_RWops* OpenClosable(const std::string& path, const std::atomic<bool>* closed) {
  SDL_RWops* file = SDL_RWFromFile(path.c_str(), "rb");
  if (!file) return nullptr;
  SDL_RWops* rw = SDL_AllocRW();
  if (!rw) {
    SDL_RWclose(file);
    return nullptr;
  }
  rw->size = FileSize;
  rw->seek = FileSeek;
  rw->read = FileRead;
  rw->write = FileWrite;
  rw->close = FileClose;
  rw->type = SDL_RWOPS_UNKNOWN;
  rw->hidden.unknown.data1 = new ClosableFile{file, closed};
  return rw;
}

// How SDL_mixer's own file opener takes a piece of music's type from its
// name; anything else is told by its first bytes.
Mix_MusicType TypeOfName(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return MUS_NONE;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
  if (ext == "WAV") return MUS_WAV;
  if (ext == "MID" || ext == "MIDI" || ext == "KAR") return MUS_MID;
  if (ext == "OGG") return MUS_OGG;
  if (ext == "OPUS") return MUS_OPUS;
  if (ext == "FLAC") return MUS_FLAC;
  if (ext == "MPG" || ext == "MPEG" || ext == "MP3" || ext == "MAD") return MUS_MP3;
  for (const char* mod : {"669", "AMF", "AMS", "DBM", "DSM", "FAR", "GDM", "IT", "MED", "MDL", "MOD", "MOL", "MTM",
                          "NST", "OKT", "PTM", "S3M", "STM", "ULT", "UMX", "WOW", "XM"}) {
    if (ext == mod) return MUS_MOD;
  }
  return MUS_NONE;
}

enum Command { kLoad, kPlay, kHalt, kFree, kVolume };

}  // namespace

// One file, opened on the mixer's thread. `music` and `chunk` are the mixer
// thread's; `opened` and `failed` are read under gMutex.
struct MixerAudio::Load : std::enable_shared_from_this<MixerAudio::Load> {
  AudioChannel channel;
  std::string path;
  std::atomic<bool> closed{false};
  Mix_Music* music = nullptr;
  Mix_Chunk* chunk = nullptr;
  bool opened = false;
  bool failed = false;
};

namespace {

struct Request {
  int command;
  DeviceId device;
  std::shared_ptr<MixerAudio::Load> load;
  int volume;
};

// The mixer's thread and its queue; never destroyed, as a device left open
// at exit leaves the thread waiting.
struct MixerThread {
  std::thread thread;
  std::condition_variable idle;
  std::deque<Request> queue;  // guarded by gMutex
  bool busy = false;
  bool stopping = false;
  std::set<std::string> reported;  // the mixer thread's
  std::atomic<int> effectSeconds{600};
  // The mixer thread's: the card's rest, the sounds it has loaded, and the
  // volume the card opens with.
  CardRest card;
  bool cardUp = false;  // SDL's audio and SDL_mixer are open
  std::vector<std::weak_ptr<MixerAudio::Load>> loaded;
  int volume = MIX_MAX_VOLUME;
};
MixerThread& gThread = *new MixerThread;

uint32_t NowMs() {
  return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch()).count());
}

// Whether any channel sounds or is about to. Under gMutex.
bool Sounding() {
  return std::any_of(std::begin(gChannels), std::end(gChannels),
                     [](const ChannelState& c) { return c.wanted != kNoDevice || c.sounding != kNoDevice; });
}

// SDL_mixer on the open sound card, set up as this player plays.
bool OpenMixer() {
  if (gMix.OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) return false;
  gMix.AllocateChannels(kChannels - 1);
  gMix.MasterVolume(gThread.volume);
  gMix.VolumeMusic(gThread.volume);
  gMix.HookMusicFinished(OnMusicFinished);
  gMix.ChannelFinished(OnChannelFinished);
  return true;
}

void Say(const std::string& path, const std::string& line);

// The card wakes from its rest, the first time with SDL_mixer loaded. When it
// cannot (taken away meanwhile, or no SDL_mixer), that is said once and the
// sounds asked for stay silent.
void WakeCard() {
  if (!gThread.card.Wake()) return;
  std::string why;
  if (!gMix.handle) {
    if (!gMix.Load(&why)) return Say("", "no audio device (" + why + "): playing without sound");
    gMix.Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC);
    QuietLibraries();
  }
  {
    const QuietStderr quiet;
    gThread.cardUp = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 && OpenMixer();
    if (!gThread.cardUp) why = *SDL_GetError() ? SDL_GetError() : "SDL gives no reason";
  }
  if (gThread.cardUp) return;
  if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  Say("", "no audio device (" + why + "): playing without sound");
}

void RestCard() {
  for (const std::weak_ptr<MixerAudio::Load>& weak : gThread.loaded) {
    if (const std::shared_ptr<MixerAudio::Load> load = weak.lock()) {
      if (load->music) gMix.FreeMusic(load->music);
      if (load->chunk) gMix.FreeChunk(load->chunk);
      load->music = nullptr;
      load->chunk = nullptr;
    }
  }
  gThread.loaded.clear();
  if (!std::exchange(gThread.cardUp, false)) return;
  gMix.CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void Halt(AudioChannel channel) {
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    gChannels[int(channel)].halting = true;
  }
  if (channel == AudioChannel::kMusic) {
    gMix.HaltMusic();
  } else {
    gMix.HaltChannel(MixerChannelOf(channel));
  }
  const std::lock_guard<std::mutex> lock(gMutex);
  gChannels[int(channel)].halting = false;
  gChannels[int(channel)].sounding = kNoDevice;
}

void Say(const std::string& path, const std::string& line) {
  if (gThread.reported.insert(path).second) Report(line);
}

void OpenOnMixerThread(MixerAudio::Load& load) {
  SDL_ClearError();
  const unsigned linesBefore = gLibraryLines;
  const bool card = gThread.cardUp;  // without it, said once already
  SDL_RWops* file = card ? OpenClosable(load.path, &load.closed) : nullptr;
  const int seconds = gThread.effectSeconds;
  EffectBudget budget{uint64_t(seconds) * 44100 * 4, &load.closed};  // 16-bit stereo
  if (!file) {
  } else if (load.channel == AudioChannel::kMusic) {
    load.music = gMix.LoadMUSType_RW(file, TypeOfName(load.path), 1);
  } else {
    tBudget = &budget;
    load.chunk = gMix.LoadWAV_RW(file, 1);
    tBudget = nullptr;
  }
  const bool opened = load.music || load.chunk;
  if (opened) {
    std::erase_if(gThread.loaded, [](const std::weak_ptr<MixerAudio::Load>& weak) { return weak.expired(); });
    gThread.loaded.push_back(load.weak_from_this());
  }
  if (load.closed || !card) {
  } else if (!opened) {
    Say(load.path, "cannot play " + load.path + ": " + (*SDL_GetError() ? SDL_GetError() : "SDL_mixer gives no reason"));
  } else if (budget.cut) {
    const std::string length =
        seconds % 60 ? std::to_string(seconds) + " seconds" : std::to_string(seconds / 60) + " minutes";
    Say(load.path, "the effect " + load.path + " is too long: only its first " + length + " play");
  }
  if (gLibraryLines != linesBefore && !load.closed && gThread.reported.insert("said " + load.path).second) {
    Report("the sound libraries said " + std::to_string(gLibraryLines - linesBefore) + " things about " + load.path +
           " (not shown)");
  }
  const std::lock_guard<std::mutex> lock(gMutex);
  load.opened = true;
  load.failed = !opened;
}

void PlayOnMixerThread(DeviceId device, MixerAudio::Load& load) {
  const int channel = int(load.channel);
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    if (gChannels[channel].wanted != device) return;  // stopped or superseded meanwhile
    if (load.failed) {
      gChannels[channel].wanted = kNoDevice;
      return;
    }
  }
  if (!load.music && !load.chunk && !load.closed) {  // freed while the card rested
    OpenOnMixerThread(load);
    const std::lock_guard<std::mutex> lock(gMutex);
    if (load.failed && gChannels[channel].wanted == device) gChannels[channel].wanted = kNoDevice;
    if (load.failed) return;
  }
  Halt(load.channel);  // whatever played there is superseded
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    if (gChannels[channel].wanted != device) return;
    gChannels[channel].sounding = device;
  }
  const bool started = load.music ? gMix.PlayMusic(load.music, 0) == 0
                                  : gMix.PlayChannelTimed(MixerChannelOf(load.channel), load.chunk, 0, -1) >= 0;
  if (started) return;
  const std::lock_guard<std::mutex> lock(gMutex);
  if (gChannels[channel].sounding == device) gChannels[channel].sounding = kNoDevice;
  if (gChannels[channel].wanted == device) gChannels[channel].wanted = kNoDevice;
}

void RunMixerThread() {
  std::unique_lock<std::mutex> lock(gMutex);
  for (;;) {
    // Waiting for a request; while the card is open and silent, only until it rests.
    while (!gThread.stopping && gThread.queue.empty()) {
      const uint32_t now = NowMs();
      if (gThread.card.Rest(now, Sounding())) {
        lock.unlock();
        RestCard();
        lock.lock();
      } else if (const std::optional<uint32_t> at = gThread.card.RestAt()) {
        gWake.wait_for(lock, std::chrono::milliseconds(*at - now));
      } else {
        gWake.wait(lock);
      }
    }
    if (gThread.queue.empty()) break;  // stopping, and everything done
    Request request = std::move(gThread.queue.front());
    gThread.queue.pop_front();
    gThread.busy = true;
    lock.unlock();
    MixerAudio::Load* load = request.load.get();
    if (request.command == kLoad || request.command == kPlay) WakeCard();
    switch (request.command) {
      case kLoad: OpenOnMixerThread(*load); break;
      case kPlay: PlayOnMixerThread(request.device, *load); break;
      case kHalt: {
        bool sounding = false;
        {
          const std::lock_guard<std::mutex> held(gMutex);
          sounding = gChannels[int(load->channel)].sounding == request.device;
        }
        if (sounding) Halt(load->channel);
        break;
      }
      case kFree:
        if (load->music) gMix.FreeMusic(load->music);  // halts it if it plays
        if (load->chunk) gMix.FreeChunk(load->chunk);
        load->music = nullptr;
        load->chunk = nullptr;
        break;
      case kVolume:
        gThread.volume = request.volume;
        if (gThread.cardUp) gMix.MasterVolume(request.volume), gMix.VolumeMusic(request.volume);
        break;
    }
    request.load.reset();
    lock.lock();
    gThread.busy = false;
    if (gThread.queue.empty()) gThread.idle.notify_all();
  }
}

}  // namespace

MixerAudio::~MixerAudio() { CloseDevice(); }

void MixerAudio::OpenDevice(uint32_t noticeEvent) {
  tried_ = true;
  gNoticeEvent = noticeEvent;
  // Only whether there is a sound card: SDL's audio is let go again, with the
  // thread it keeps to look for cards coming and going. The card opens, and
  // SDL_mixer with the thirty libraries it brings is loaded, on the mixer's
  // thread when the first sound is asked for; without a card, never.
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
    opened = probe != 0;
  }
  if (!opened) missing_ = *SDL_GetError() ? SDL_GetError() : "SDL gives no reason";
  if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  if (!opened) return;
  BoundSdlAllocator();
  gThread.card = CardRest{};  // resting until the first sound
  gThread.cardUp = false;
  gThread.volume = volume_;
  gThread.loaded.clear();
  gThread.stopping = false;
  gThread.thread = std::thread(RunMixerThread);
  open_ = true;
  // What the story asked for while the device was opening.
  for (auto& [id, sound] : sounds_) Post(kLoad, id, sound);
  for (Waiting& waiting : waiting_) {
    if (waiting.device != kNoDevice) Play(std::exchange(waiting.device, kNoDevice), waiting.notify);
  }
}

void MixerAudio::CloseDevice(bool leaving) {
  if (!open_) {
    sounds_.clear();
    return;
  }
  while (!sounds_.empty()) Close(sounds_.begin()->first);
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    gThread.stopping = true;
  }
  gWake.notify_all();
  gThread.thread.join();  // every sound halted and freed
  open_ = false;
  if (std::exchange(gThread.cardUp, false)) {
    gMix.HookMusicFinished(nullptr);
    gMix.ChannelFinished(nullptr);
    if (leaving) {
      SDL_PauseAudio(1);  // once it returns, SDL_mixer is never called again
      leftOpen_ = true;
      return;
    }
    gMix.CloseAudio();
  }
  if (gMix.handle) gMix.Quit();
}

PlaybackNotice MixerAudio::NoticeOf(const void* sdlEvent) {
  const auto* event = static_cast<const SDL_Event*>(sdlEvent);
  return {DeviceId(reinterpret_cast<uintptr_t>(event->user.data1)), event->user.code == 1};
}

void MixerAudio::Post(int command, DeviceId device, const Sound& sound) {
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    gThread.queue.push_back({command, device, sound.load, volume_});
  }
  gWake.notify_one();
}

DeviceId MixerAudio::Open(AudioChannel channel, const std::string& path) {
  if (tried_ && !open_) {
    if (!missing_.empty()) Report("no audio device (" + missing_ + "): playing without sound");
    missing_.clear();
    return kNoDevice;
  }
  // SDL and SDL_mixer trust a sound's header: a bad one is refused here.
  if (!SoundFileMayOpen(path, &refused_)) return kNoDevice;
  auto load = std::make_shared<Load>();
  load->channel = channel;
  load->path = path;
  const DeviceId id = next_++;
  const Sound& sound = sounds_[id] = Sound{channel, load};
  if (open_) Post(kLoad, id, sound);
  return id;
}

void MixerAudio::Play(DeviceId device, bool notify) {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return;
  const Sound& sound = it->second;
  if (!open_) {
    waiting_[int(sound.channel)] = {device, notify};  // played once the device is open
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    if (sound.load->failed) return;  // it did not open
    gChannels[int(sound.channel)].wanted = device;
    gChannels[int(sound.channel)].notify = notify;
  }
  Post(kPlay, device, sound);
}

void MixerAudio::Stop(DeviceId device) {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return;
  if (!open_) {
    Waiting& waiting = waiting_[int(it->second.channel)];
    if (waiting.device == device) waiting.device = kNoDevice;
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(gMutex);
    ChannelState& state = gChannels[int(it->second.channel)];
    if (state.wanted == device) state.wanted = kNoDevice;
    if (state.sounding != device) return;
  }
  Post(kHalt, device, it->second);
}

void MixerAudio::Close(DeviceId device) {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return;
  Stop(device);
  it->second.load->closed = true;  // a decode or an open under way gives up
  if (open_) Post(kFree, device, it->second);
  sounds_.erase(it);
}

bool MixerAudio::IsPlaying(DeviceId device) const {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return false;
  if (!open_) return waiting_[int(it->second.channel)].device == device;
  const std::lock_guard<std::mutex> lock(gMutex);
  return gChannels[int(it->second.channel)].wanted == device;
}

bool MixerAudio::Opening(DeviceId device) const {
  const auto it = sounds_.find(device);
  if (it == sounds_.end()) return false;
  const std::lock_guard<std::mutex> lock(gMutex);
  return !it->second.load->opened;
}

void MixerAudio::Settle() {
  if (!open_) return;
  std::unique_lock<std::mutex> lock(gMutex);
  gThread.idle.wait(lock, [] { return gThread.queue.empty() && !gThread.busy; });
}

void MixerAudio::SetEffectLimit(int seconds) { gThread.effectSeconds = seconds; }

void MixerAudio::SetVolume(int percent) {
  volume_ = std::clamp(percent, 0, 100) * MIX_MAX_VOLUME / 100;
  if (open_) Post(kVolume, kNoDevice, Sound{AudioChannel::kMusic, nullptr});
}

}  // namespace ks

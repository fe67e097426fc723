// Random sound files through the player's own path: the header check, then,
// when it lets a file by, SDL_mixer on SDL's dummy driver decoding it whole
// as an effect (held to one second) and opening it as music. No input may
// crash a decoder or read out of bounds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "platform/sdl/mixer_audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ks::MixerAudio* mixer = [] {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    auto* audio = new ks::MixerAudio;
    audio->OpenDevice(0x8000);
    audio->SetEffectLimit(1);
    return audio;
  }();
  static const std::string path = "/tmp/ks-mixer-fuzz-" + std::to_string(getpid());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  for (ks::AudioChannel channel : {ks::AudioChannel::kOneShotEffect, ks::AudioChannel::kMusic}) {
    const ks::DeviceId device = mixer->Open(channel, path);
    mixer->Settle();
    mixer->Close(device);
    mixer->Settle();
  }
  return 0;
}

#include "sound/sound.h"

#include "engine/text_field.h"
#include "platform/file_io.h"
#include "platform/story_path.h"

namespace ks {
namespace {

void StopChannel(EngineState& state, SoundChannel& channel) {
  if (!channel.playing) return;
  if (state.audio && channel.device != kNoDevice) {
    state.audio->Stop(channel.device);
    state.audio->Close(channel.device);
  }
  channel.device = kNoDevice;
  channel.playing = 0;
}

// Opens `fileName` from the story folder. Only a regular file is handed to
// the device: an empty name (the folder itself), a FIFO or a device opens
// nothing.
DeviceId OpenSound(EngineState& state, AudioChannel kind, const char* fileName) {
  if (!state.audio) return kNoDevice;
  const std::string path = StoryPath(state.storyRoot, fileName);
  return IsRegularFile(path) ? state.audio->Open(kind, path) : kNoDevice;
}

void PlayOnChannel(EngineState& state, SoundChannel& channel, const char* fileName, bool repeats) {
  StopChannel(state, channel);
  CopyName(channel.fileName, fileName);
  channel.device = OpenSound(state, channel.kind, fileName);
  if (channel.device != kNoDevice) state.audio->Play(channel.device, repeats);
  channel.playing = 1;
}

}  // namespace

void PlayBgm(EngineState& state, const char* fileName) {
  PlayOnChannel(state, state.bgmChannel, fileName, /*repeats=*/true);
}

void PlayLoopSe(EngineState& state, const char* fileName) {
  PlayOnChannel(state, state.loopSeChannel, fileName, /*repeats=*/true);
}

void PlayOneShotSe(EngineState& state, const char* fileName) {
  PlayOnChannel(state, state.oneShotSeChannel, fileName, /*repeats=*/false);
}

void StopBgm(EngineState& state) { StopChannel(state, state.bgmChannel); }

void StopLoopSe(EngineState& state) { StopChannel(state, state.loopSeChannel); }

void PlayPageSound(EngineState& state) {
  if (state.pageSoundOpen) {
    if (state.audio && state.pageSoundDevice != kNoDevice) {
      state.audio->Stop(state.pageSoundDevice);
      state.audio->Close(state.pageSoundDevice);
    }
    state.pageSoundDevice = kNoDevice;
    state.pageSoundOpen = 0;
  }
  state.pageSoundDevice = OpenSound(state, AudioChannel::kPageSound, kPageSoundFile);
  if (state.pageSoundDevice != kNoDevice) state.audio->Play(state.pageSoundDevice, /*notify=*/false);
  state.pageSoundOpen = 1;
}

void OnPlaybackNotify(EngineState& state, const PlaybackNotice& notice) {
  if (!notice.completed || notice.device == kNoDevice || !state.audio) return;
  for (SoundChannel* channel : {&state.bgmChannel, &state.loopSeChannel}) {
    if (channel->playing && channel->device == notice.device) {
      state.audio->Play(notice.device, /*notify=*/true);
    }
  }
}

}  // namespace ks

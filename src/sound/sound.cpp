#include "sound/sound.h"

#include "core/text_field.h"
#include "core/file_io.h"
#include "core/story_path.h"

namespace ks {
namespace {

void StopChannel(EngineState& state, SoundChannel& channel) {
  if (!channel.playing) return;
  if (state.sound.audio && channel.device != kNoDevice) {
    state.sound.audio->Stop(channel.device);
    state.sound.audio->Close(channel.device);
  }
  channel.device = kNoDevice;
  channel.playing = 0;
}

// Opens `fileName` from the story folder. Only a regular file is handed to
// the device: an empty name (the folder itself), a FIFO or a device opens
// nothing.
DeviceId OpenSound(EngineState& state, AudioChannel kind, const char* fileName) {
  if (!state.sound.audio) return kNoDevice;
  const std::string path = StoryPath(state.storyRoot, fileName);
  return IsRegularFile(path) ? state.sound.audio->Open(kind, path) : kNoDevice;
}

void PlayOnChannel(EngineState& state, SoundChannel& channel, const char* fileName, bool repeats) {
  StopChannel(state, channel);
  CopyName(channel.fileName, fileName);
  // Skipped pages play no one-shot sound; the channel's state is as if they had.
  const bool quiet = state.sound.quietEffects && !repeats;
  channel.device = quiet ? kNoDevice : OpenSound(state, channel.kind, fileName);
  if (channel.device != kNoDevice) state.sound.audio->Play(channel.device, repeats);
  channel.playing = 1;
}

}  // namespace

void PlayBgm(EngineState& state, const char* fileName) {
  PlayOnChannel(state, state.sound.bgmChannel, fileName, /*repeats=*/true);
}

void PlayLoopSe(EngineState& state, const char* fileName) {
  PlayOnChannel(state, state.sound.loopSeChannel, fileName, /*repeats=*/true);
}

void PlayOneShotSe(EngineState& state, const char* fileName) {
  PlayOnChannel(state, state.sound.oneShotSeChannel, fileName, /*repeats=*/false);
}

void StopBgm(EngineState& state) { StopChannel(state, state.sound.bgmChannel); }

void StopLoopSe(EngineState& state) { StopChannel(state, state.sound.loopSeChannel); }
void StopOneShotSe(EngineState& state) { StopChannel(state, state.sound.oneShotSeChannel); }

void PlayPageSound(EngineState& state) {
  PlayOnChannel(state, state.sound.pageSound, kPageSoundFile, /*repeats=*/false);
}

void OnPlaybackNotify(EngineState& state, const PlaybackNotice& notice) {
  if (!notice.completed || notice.device == kNoDevice || !state.sound.audio) return;
  for (SoundChannel* channel : {&state.sound.bgmChannel, &state.sound.loopSeChannel}) {
    if (channel->playing && channel->device == notice.device) {
      state.sound.audio->Play(notice.device, /*notify=*/true);
    }
  }
}

}  // namespace ks

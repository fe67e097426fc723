// The sound channels: music, a looping effect and a one-shot effect, each
// with at most one open file, and the page-turn sound. Music and the looping
// effect repeat: they play with a completion notice, and OnPlaybackNotify
// starts the finished device again from its beginning.
#pragma once

#include "core/engine_state.h"
#include "core/audio_device.h"

namespace ks {

// The page-turn sound's fixed name inside the story folder.
inline constexpr const char* kPageSoundFile = "Page.wav";

// Each play first stops and closes what its channel was playing, then opens
// the named file and plays it from the start. A file that does not open
// leaves the channel silent but marked as playing, as a stop would expect.
void PlayBgm(EngineState& state, const char* fileName);
void PlayLoopSe(EngineState& state, const char* fileName);
void PlayOneShotSe(EngineState& state, const char* fileName);

// Stops and closes the channel if it is playing; otherwise does nothing.
void StopBgm(EngineState& state);
void StopLoopSe(EngineState& state);
void StopOneShotSe(EngineState& state);

// Restarts "Page.wav" from its beginning, closing the previous page sound.
void PlayPageSound(EngineState& state);

// A device reported the end of a play. Restarts it only when it completed
// and is still the open device of the music or looping-effect channel: a
// stop is never a completion, and a late notice for a closed device
// restarts nothing.
void OnPlaybackNotify(EngineState& state, const PlaybackNotice& notice);

}  // namespace ks

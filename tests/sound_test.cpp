#include "sound/sound.h"

#include "test_support.h"

namespace ks {
namespace {

using test::RecordingAudio;
using test::TempStory;
using Calls = std::vector<std::string>;

class Sound : public ::testing::Test {
 protected:
  Sound() {
    for (const char* name : {"a.ogg", "b.ogg", "rain.wav", "bell.wav", "chime.wav", "Page.wav"}) story_.Write(name, "x");
    state_.storyRoot = story_.root();
    state_.sound.audio = &audio_;
  }
  Calls Take() { return std::exchange(audio_.calls, {}); }

  TempStory story_;
  RecordingAudio audio_;
  EngineState state_;
};

TEST_F(Sound, NewMusicReplacesTheOldAndOnlyItRepeats) {
  PlayBgm(state_, "a.ogg");
  PlayBgm(state_, "b.ogg");
  EXPECT_EQ(Take(), (Calls{"open music a.ogg = 1", "play 1 notify", "stop 1", "close 1", "open music b.ogg = 2",
                           "play 2 notify"}));
  OnPlaybackNotify(state_, {1, true});  // late notice from the closed device
  EXPECT_EQ(Take(), Calls{});
  OnPlaybackNotify(state_, {2, true});
  OnPlaybackNotify(state_, {2, true});
  EXPECT_EQ(Take(), (Calls{"play 2 notify", "play 2 notify"}));
}

TEST_F(Sound, AStopIsNeverTakenForACompletion) {
  PlayLoopSe(state_, "rain.wav");
  Take();
  OnPlaybackNotify(state_, {1, false});  // aborted or superseded
  EXPECT_EQ(Take(), Calls{});
  StopLoopSe(state_);
  EXPECT_EQ(Take(), (Calls{"stop 1", "close 1"}));
  OnPlaybackNotify(state_, {1, true});
  EXPECT_EQ(Take(), Calls{});
  StopLoopSe(state_);  // not playing: nothing
  StopBgm(state_);
  EXPECT_EQ(Take(), Calls{});
}

TEST_F(Sound, OneShotEffectIsCutOffByTheNextAndNeverRepeats) {
  PlayOneShotSe(state_, "bell.wav");
  PlayOneShotSe(state_, "chime.wav");
  EXPECT_EQ(Take(), (Calls{"open oneshot bell.wav = 1", "play 1", "stop 1", "close 1", "open oneshot chime.wav = 2",
                           "play 2"}));
  OnPlaybackNotify(state_, {2, true});
  EXPECT_EQ(Take(), Calls{});
  EXPECT_EQ(state_.sound.oneShotSeChannel.playing, 1u);  // stays open until the next one
}

TEST_F(Sound, PageSoundRestartsFromItsBeginningEachTime) {
  PlayPageSound(state_);
  PlayPageSound(state_);
  EXPECT_EQ(Take(), (Calls{"open page Page.wav = 1", "play 1", "stop 1", "close 1", "open page Page.wav = 2", "play 2"}));
  EXPECT_EQ(state_.sound.pageSound.playing, 1u);
}

TEST_F(Sound, MissingFileLeavesTheChannelSilentButPlaying) {
  PlayBgm(state_, "missing.ogg");  // not even offered to the device
  EXPECT_EQ(Take(), Calls{});
  EXPECT_EQ(state_.sound.bgmChannel.playing, 1u);
  OnPlaybackNotify(state_, {0, true});
  StopBgm(state_);  // nothing was opened, so nothing to stop
  EXPECT_EQ(Take(), Calls{});
  EXPECT_EQ(state_.sound.bgmChannel.playing, 0u);

  // A name written with a Windows separator is found in its folder.
  story_.Write("se/door.wav", "x");
  PlayOneShotSe(state_, "se\\door.wav");
  EXPECT_EQ(Take(), (Calls{"open oneshot door.wav = 1", "play 1"}));
}

TEST_F(Sound, WithoutADeviceOnlyTheFlagsChange) {
  state_.sound.audio = nullptr;
  PlayBgm(state_, "a.ogg");
  PlayPageSound(state_);
  OnPlaybackNotify(state_, {1, true});
  EXPECT_EQ(state_.sound.bgmChannel.playing, 1u);
  EXPECT_EQ(state_.sound.pageSound.playing, 1u);
  StopBgm(state_);
  EXPECT_EQ(state_.sound.bgmChannel.playing, 0u);
}

}  // namespace
}  // namespace ks

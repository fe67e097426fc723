// The save file and sound channels: what reaches the disk and the audio device.
#include <cstring>
#include <filesystem>

#include "save/save_file.h"
#include "script/interpreter.h"
#include "sound/sound.h"
#include "support.h"

namespace ks {
namespace {

using test::LoadedEngine;
using test::PageString;
using test::SavedFields;
using test::TempStory;
using Calls = std::vector<std::string>;

const std::string kScript = "@Mtheme.ogg,first page@Esecond page, longer than the first@E@R2nd@E";

TEST(SaveFile, LayoutByteForByte) {
  TempStory story;
  auto s = LoadedEngine(story, kScript);
  std::memcpy(s->assets.backgroundFile, "bg.bmp\0junk-after-N", 20);
  std::memcpy(s->assets.bgmFile, "theme.ogg", 10);
  s->page.pageLength = 0x01020304;
  s->script.scriptPos = 0xA0B0C0D0;
  for (size_t i = 0; i < kPageBytes; ++i) s->page.pageText[i] = char(i * 7);
  std::string error;
  ASSERT_TRUE(SaveGame(*s, &error)) << error;
  const std::string file = story.Read("DATA/save.txt");
  ASSERT_EQ(file.size(), 1068u);
  EXPECT_EQ(file.substr(0, 68), std::string("bg.bmp\0junk-after-N\0theme.ogg", 30) + std::string(30, '\0') + "\x04\x03\x02\x01\xD0\xC0\xB0\xA0");
  for (size_t i = 0; i < kPageBytes; ++i) ASSERT_EQ(file[68 + i], char(i * 7)) << i;
}

TEST(SaveFile, LoadRestoresEverythingRestartsTheMusicAndMakesBadValuesSafe) {
  TempStory story;
  story.Write("theme.ogg", "x");
  test::RecordingAudio audio;
  auto s = LoadedEngine(story, kScript);
  s->sound.audio = &audio;
  for (int i = 0; i < 3; ++i) RunScript(*s);  // "2nd" over a longer page: stale bytes past the NUL
  const std::string before = SavedFields(*s);
  std::string error;
  ASSERT_TRUE(SaveGame(*s, &error)) << error;
  s->screen.cursor = 3;
  audio.calls.clear();
  ASSERT_TRUE(LoadGame(*s, &error)) << error;
  EXPECT_EQ(SavedFields(*s), before);
  EXPECT_EQ(s->screen.cursor, 0);
  EXPECT_EQ(audio.calls, (Calls{"stop 1", "close 1", "open music theme.ogg = 2", "play 2 notify"}));

  // A save with no music stops the music and opens nothing.
  auto quiet = LoadedEngine(story, "page@E");
  RunScript(*quiet);
  ASSERT_TRUE(SaveGame(*quiet, &error)) << error;
  audio.calls.clear();
  ASSERT_TRUE(LoadGame(*s, &error)) << error;
  EXPECT_EQ(audio.calls, (Calls{"stop 2", "close 2"}));

  // A missing or short save changes nothing.
  s->screen.cursor = 2;
  const std::string current = SavedFields(*s);
  story.Write("DATA/save.txt", std::string(1067, 'a'));
  EXPECT_FALSE(LoadGame(*s, &error));
  std::filesystem::remove(story.Path("DATA/save.txt"));
  EXPECT_FALSE(LoadGame(*s, &error));
  EXPECT_NE(error.find("save.txt"), std::string::npos) << error;
  EXPECT_EQ(SavedFields(*s), current);
  EXPECT_EQ(s->screen.cursor, 2);

  // Values no save could hold: lengths and names without their NUL, a position past the script.
  std::vector<uint8_t> bytes(1068, 'A');
  const uint8_t huge[8] = {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x01, 0x00};
  std::memcpy(bytes.data() + 60, huge, 8);
  story.Write("DATA/save.txt", bytes);
  ASSERT_TRUE(LoadGame(*s, &error)) << error;
  EXPECT_EQ(s->page.pageLength, 999u);
  EXPECT_EQ(s->script.scriptPos, s->script.scriptSize);
  EXPECT_EQ(std::string(s->assets.backgroundFile) + std::string(s->assets.bgmFile), std::string(19 + 39, 'A'));
  EXPECT_EQ(PageString(*s), std::string(999, 'A'));
}

TEST(SaveFile, AFailedSaveKeepsThePreviousOneAndLeavesNothingBehind) {
  TempStory story;
  auto s = LoadedEngine(story, kScript);
  RunScript(*s);
  std::string error;
  ASSERT_TRUE(SaveGame(*s, &error)) << error;
  const std::string old = story.Read("DATA/save.txt");
  RunScript(*s);
  EXPECT_FALSE(test::WithFullDisk(100, [&] { return SaveGame(*s, &error); }));
  EXPECT_NE(error.find("DATA/save.txt"), std::string::npos) << error;
  EXPECT_EQ(story.Read("DATA/save.txt"), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(story.Path("DATA")), {}), 2);  // no temporary left

  TempStory noData(/*withData=*/false);
  s->storyRoot = noData.root();
  EXPECT_FALSE(SaveGame(*s, &error));
  EXPECT_FALSE(std::filesystem::exists(noData.Path("DATA")));  // never created
}

class Sound : public ::testing::Test {
 protected:
  Sound() {
    for (const char* name : {"a.ogg", "b.ogg", "rain.wav", "bell.wav", "chime.wav", "Page.wav", "se/door.wav"}) {
      story_.Write(name, "x");
    }
    state_.storyRoot = story_.root();
    state_.sound.audio = &audio_;
  }
  Calls Take() { return std::exchange(audio_.calls, {}); }

  TempStory story_;
  test::RecordingAudio audio_;
  EngineState state_;
};

TEST_F(Sound, EachPlayReplacesItsChannelAndOnlyMusicAndTheLoopRepeat) {
  PlayBgm(state_, "a.ogg");
  PlayBgm(state_, "b.ogg");
  PlayOneShotSe(state_, "bell.wav");
  PlayOneShotSe(state_, "chime.wav");
  PlayPageSound(state_);
  PlayPageSound(state_);
  EXPECT_EQ(Take(), (Calls{"open music a.ogg = 1", "play 1 notify", "stop 1", "close 1", "open music b.ogg = 2",
                           "play 2 notify", "open oneshot bell.wav = 3", "play 3", "stop 3", "close 3",
                           "open oneshot chime.wav = 4", "play 4", "open page Page.wav = 5", "play 5", "stop 5",
                           "close 5", "open page Page.wav = 6", "play 6"}));
  for (DeviceId device : {1u, 2u, 2u, 4u, 6u}) OnPlaybackNotify(state_, {device, true});
  EXPECT_EQ(Take(), (Calls{"play 2 notify", "play 2 notify"}));  // 1 is closed; 4 and 6 play once
  EXPECT_EQ(state_.sound.oneShotSeChannel.playing, 1u);  // open until the next one

  PlayLoopSe(state_, "rain.wav");
  Take();
  OnPlaybackNotify(state_, {7, false});  // a stop is never a completion
  StopLoopSe(state_);
  OnPlaybackNotify(state_, {7, true});  // late, for a closed device
  StopLoopSe(state_);                    // not playing: nothing
  EXPECT_EQ(Take(), (Calls{"stop 7", "close 7"}));
}

TEST_F(Sound, MissingFilesWindowsNamesAndNoDevice) {
  PlayBgm(state_, "missing.ogg");  // not even offered to the device
  EXPECT_EQ(state_.sound.bgmChannel.playing, 1u);
  StopBgm(state_);
  EXPECT_EQ(state_.sound.bgmChannel.playing, 0u);
  PlayOneShotSe(state_, "se\\door.wav");
  EXPECT_EQ(Take(), (Calls{"open oneshot door.wav = 1", "play 1"}));

  state_.sound.audio = nullptr;  // no sound card: the flags still follow the story
  PlayBgm(state_, "a.ogg");
  OnPlaybackNotify(state_, {1, true});
  EXPECT_EQ(state_.sound.bgmChannel.playing, 1u);
}

// The replay's audio: a WAV lasts as its header says, others never end, a stop never completes.
TEST(SimulatedAudio, CompletesOnTimeOnTheVirtualClock) {
  TempStory story;
  story.Write("a.wav", test::WavBytes(100));
  story.Write("b.mid", "MThd not measurable");
  story.Write("c.wav", test::WavBytes(250).substr(0, 30));
  EXPECT_EQ(WavLengthMs(story.Path("c.wav")), std::nullopt);
  HeadlessPlatform platform;
  AudioDevice& audio = platform.Audio();
  EXPECT_EQ(audio.Open(AudioChannel::kMusic, story.Path("missing.wav")), kNoDevice);
  const DeviceId a = audio.Open(AudioChannel::kMusic, story.Path("a.wav"));
  const DeviceId b = audio.Open(AudioChannel::kLoopEffect, story.Path("b.mid"));
  audio.Play(a, /*notify=*/true);
  audio.Play(b, /*notify=*/true);
  Message message;
  platform.WaitForMessage(1000);  // wakes at a's end, not later
  EXPECT_EQ(platform.NowMs(), 100u);
  ASSERT_TRUE(platform.TakeMessage(&message));
  EXPECT_TRUE(message.playback.device == a && message.playback.completed);
  platform.WaitForMessage(100000);
  EXPECT_FALSE(platform.TakeMessage(&message));
  audio.Stop(b);
  ASSERT_TRUE(platform.TakeMessage(&message));
  EXPECT_TRUE(message.playback.device == b && !message.playback.completed);
}

}  // namespace
}  // namespace ks

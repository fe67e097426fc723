#include "platform/headless/headless_platform.h"

#include "test_support.h"

namespace ks {
namespace {

using test::TempStory;
using test::WavBytes;

TEST(WavLength, ReadsTheHeaderOrGivesNothing) {
  TempStory story;
  story.Write("a.wav", WavBytes(250));
  story.Write("b.ogg", "OggS not a wave file");
  EXPECT_EQ(WavLengthMs(story.Path("a.wav")), 250u);
  EXPECT_EQ(WavLengthMs(story.Path("b.ogg")), std::nullopt);
  EXPECT_EQ(WavLengthMs(story.Path("missing.wav")), std::nullopt);
  std::string truncated = WavBytes(250).substr(0, 30);  // the format chunk cut short
  story.Write("c.wav", truncated);
  EXPECT_EQ(WavLengthMs(story.Path("c.wav")), std::nullopt);
}

TEST(SimulatedAudio, CompletesOnTimeAndNeverCallsAStopACompletion) {
  TempStory story;
  story.Write("a.wav", WavBytes(100));
  story.Write("b.ogg", "not measurable");
  HeadlessPlatform platform;
  AudioDevice& audio = platform.Audio();
  EXPECT_EQ(audio.Open(AudioChannel::kMusic, story.Path("missing.wav")), kNoDevice);
  const DeviceId a = audio.Open(AudioChannel::kMusic, story.Path("a.wav"));
  const DeviceId b = audio.Open(AudioChannel::kLoopEffect, story.Path("b.ogg"));
  ASSERT_NE(a, kNoDevice);
  ASSERT_NE(b, a);
  audio.Play(a, /*notify=*/true);
  audio.Play(b, /*notify=*/true);
  Message message;
  platform.WaitForMessage(1000);  // wakes at a's end, not later
  EXPECT_EQ(platform.NowMs(), 100u);
  ASSERT_TRUE(platform.TakeMessage(&message));
  EXPECT_EQ(message.kind, Message::Kind::kPlayback);
  EXPECT_EQ(message.playback.device, a);
  EXPECT_TRUE(message.playback.completed);
  EXPECT_FALSE(platform.TakeMessage(&message));

  platform.WaitForMessage(100000);  // b cannot be measured: it never ends
  EXPECT_FALSE(platform.TakeMessage(&message));
  EXPECT_TRUE(platform.audio().IsPlaying(AudioChannel::kLoopEffect));
  audio.Stop(b);
  ASSERT_TRUE(platform.TakeMessage(&message));
  EXPECT_EQ(message.playback.device, b);
  EXPECT_FALSE(message.playback.completed);
  EXPECT_EQ(platform.audio().starts(AudioChannel::kMusic), 1);
}

TEST(KeyTokens, ParseRepeatsAndRejectsUnknownKeys) {
  std::vector<KeyToken> frames;
  std::string error;
  ASSERT_TRUE(ParseKeyTokens(" .  ED*3\nX ", &frames, &error)) << error;
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_FALSE(frames[0].keys.enter);
  EXPECT_TRUE(frames[3].keys.enter && frames[3].keys.down && !frames[3].keys.up);
  EXPECT_TRUE(frames[4].escape);
  EXPECT_FALSE(ParseKeyTokens("E*", &frames, &error));
  EXPECT_FALSE(ParseKeyTokens("e", &frames, &error));
  EXPECT_FALSE(ParseKeyTokens("E*99999999999", &frames, &error));
  EXPECT_EQ(frames.size(), 5u);  // a failed parse changes nothing
}

}  // namespace
}  // namespace ks

// Whole stories frame by frame: the keys on each screen, the order of work in a frame.
#include <cstdlib>
#include <filesystem>

#include "engine/frame.h"
#include "core/key_tracker.h"
#include "platform/desktop/png.h"
#include "read_png.h"
#include "support.h"

namespace ks {
namespace {

using test::EncodeBmp;
using test::PageString;
using test::SolidImage;
using test::WavBytes;

constexpr uint32_t kWhitePixel = 0xFFFFFF;
constexpr int kAll = 640 * 480;

using Story = test::FrameTest;

// The keys of each screen, from the story's start: the state they leave.
TEST_F(Story, KeysOnEachScreen) {
  struct Case { const char* script; const char* keys; const char* expected; };
  const char* pages = "one@E@Rtwo@E@Rthree@E";
  const char* choices = "@Cleft,1\nright,2\nmiddle,3\n@\n@S1\nwent left@E\n@S2\nwent right@E";
  const Case cases[] = {
      {pages, "E E E", "mode=0 cursor=0 page=two"},  // held: one page
      {pages, "E . E", "mode=0 cursor=0 page=three"},
      {pages, "S", "mode=-1 cursor=0 page=one"},
      {pages, "ES", "mode=0 cursor=0 page=two"},  // Enter acted: Space is ignored
      {pages, "S U", "mode=-1 cursor=0 page=one"},
      {pages, "S D . D . D . D . D . D", "mode=-1 cursor=4 page=one"},
      {pages, "S D . D . D . D . U U U", "mode=-1 cursor=3 page=one"},
      {pages, "S D . D . E", "mode=0 cursor=0 page=one"},  // cancel
      {pages, "S D . D . D . E", "mode=0 cursor=0 page=one quit"},
      {pages, "S E E", "mode=0 cursor=0 page=one saved"},  // until a fresh Enter
      {pages, "S E . S", "mode=0 cursor=0 page=one saved"},  // no menu over a notice
      {pages, "S E . E . E", "mode=0 cursor=0 page=two"},
      {pages, "S D . D . D . D . E", "mode=0 cursor=0 page=one title"},
      {pages, "S D . D . D . D . E . E", "mode=0 cursor=0 page=oneone"},  // the script restarts
      {choices, "D . D . D .", "mode=3 cursor=2 page="},
      {choices, "D . D . U U", "mode=3 cursor=1 page="},
      {choices, "S D", "mode=3 cursor=1 page="},  // Space means nothing here
      // A Down in the frame a choice is taken moves the cursor on the page
      // the story is now on, to -1; the menu then takes that row as cancel.
      {choices, "D . ED", "mode=0 cursor=-1 page=went right"},
      {choices, "D . ED . S E", "mode=0 cursor=0 page=went right"},
  };
  for (const Case& c : cases) {
    test::StoryPlayer player;
    player.Start(c.script);
    EXPECT_EQ(player.After(c.keys), c.expected) << c.script << " / " << c.keys;
  }
}

// Taps shorter than a frame each act once, in the next frame, as a held press would.
TEST(KeySnapshot, EveryPressActsOnceAndNoneIsLost) {
  KeyTracker tracker;
  std::string seen;  // the frames, one letter each: p pressed, d held down, u up
  auto events = [&](const std::string& downsAndUps, int frames) {
    for (char c : downsAndUps) c == 's' ? tracker.Swallow() : tracker.Set(Key::kEnter, c == 'd');
    for (int i = 0; i < frames; ++i) {
      const FrameKeys keys = tracker.Take();
      seen += keys.WentDown(Key::kEnter) ? 'p' : keys.enter ? 'd' : 'u';
    }
  };
  events("du", 2);    // a tap: down in the next frame, up in the one after
  events("dd", 2);    // held, a repeat too
  events("ud", 2);    // released and pressed again between frames: up, then down
  events("udud", 4);  // a release and a double tap
  events("s", 1);     // swallowed while held: up until released, then pressed afresh
  events("ud", 2);
  EXPECT_EQ(seen, "pu" "pd" "up" "upup" "u" "up");

  // Twenty taps of Enter and of F12 before a frame: sixteen of each act, one a frame (a reader's key kept eight).
  tracker = KeyTracker{};
  for (int i = 0; i < 20; ++i) {
    tracker.Set(Key::kEnter, true);
    tracker.Set(Key::kEnter, false);
    tracker.Press(ReaderKey::kScreenshot);
  }
  int enters = 0, shots = 0;
  for (FrameKeys keys; (keys = tracker.Take()) != FrameKeys{} || tracker.HasPending();) {
    enters += keys.enter;
    shots += keys.Pressed(ReaderKey::kScreenshot);
  }
  EXPECT_EQ(enters, KeyTracker::kMaxPresses);
  EXPECT_EQ(shots, KeyTracker::kMaxPresses);
  EXPECT_FALSE(tracker.IsDown(Key::kEnter));
}

TEST_F(Story, GateOpensEvery33MillisecondsOnAnUnsignedDifference) {
  Start("one@Etwo@E");
  platform_.SetKeys({.keys = {.enter = true}});
  EXPECT_FALSE(UpdateFrame(state_, platform_));  // 0 ms since the last frame (0)
  platform_.Advance(32);
  EXPECT_FALSE(UpdateFrame(state_, platform_));
  EXPECT_EQ(platform_.presents(), 0u);
  platform_.Advance(1);
  EXPECT_TRUE(UpdateFrame(state_, platform_));
  EXPECT_EQ(PageString(state_), "onetwo");
  state_.screen.lastFrameTime = 0xFFFFFFF0u;  // across the clock's wrap it is still 33
  platform_.Advance(uint32_t(0x11u - platform_.NowMs()));
  EXPECT_TRUE(UpdateFrame(state_, platform_));
  EXPECT_EQ(TimeToNextFrame(state_, platform_.NowMs()), 33u);
}

// A CR LF pair in the page is one line break, as CR or LF alone is.
TEST_F(Story, LineBreaksOfThePage) {
  Start("a\r\n@Nb\rc@Nd@E");  // the page holds a CR LF b CR c LF d
  ASSERT_TRUE(Frames("."));
  for (int line = 0; line < 5; ++line) {
    EXPECT_EQ(CountShown(40, 35 + 16 * line, 60, 51 + 16 * line, kWhitePixel) > 0, line < 4) << line;
  }
}

// The page is drawn over the frame's first picture; a page run into a choice list once more.
TEST_F(Story, NewPictureOneFrameLateAndStaleTextBeforeAChoiceList) {
  story_.Write("red.bmp", EncodeBmp(SolidImage(640, 480, 0xFF0000), 24));
  Start("a much longer first page@E@Gred.bmp,@R@Cx,1,@");
  ASSERT_TRUE(Frames("E"));
  EXPECT_EQ(state_.screen.uiMode, 1);
  EXPECT_EQ(Shown(5, 470), 0u);
  EXPECT_GT(CountShown(40, 35, 600, 51, kWhitePixel), 50);
  ASSERT_TRUE(Frames("."));
  EXPECT_EQ(Shown(5, 470), 0xFF0000u);
  EXPECT_EQ(CountShown(40, 35, 600, 51, kWhitePixel), 0);
  EXPECT_GT(CountShown(265, 320, 300, 336, 0x32FF32), 5);  // the highlighted choice
  test::StoryPlayer same;  // the same page text over a new picture: shown one frame late all the same
  same.story_.Write("red.bmp", EncodeBmp(SolidImage(640, 480, 0xFF0000), 24));
  same.Start("page@E@Gred.bmp,@E");
  ASSERT_TRUE(same.Frames(". E"));
  EXPECT_EQ(same.Shown(5, 470), 0u);
  ASSERT_TRUE(same.Frames("."));
  EXPECT_EQ(same.Shown(5, 470), 0xFF0000u);
  state_.screen.uiMode = 9;  // no screen: only the background
  ASSERT_TRUE(Frames("E"));
  EXPECT_EQ(CountShown(0, 0, 640, 480, 0xFF0000), kAll);
}

TEST_F(Story, FadeTakesTwoFramesIsShownAndIsRedrawnAfterward) {
  story_.Write("white.bmp", EncodeBmp(SolidImage(640, 480, 0xFFFFFF), 24));
  Start("@Gwhite.bmp,@E@Fnext@E@Rlast@E");
  ASSERT_TRUE(Frames("."));
  const uint64_t presents = platform_.presents();
  ASSERT_TRUE(Frames(".*10"));  // the reader reads: nothing is sent again
  EXPECT_EQ(platform_.presents(), presents);
  ASSERT_TRUE(Frames("E E"));
  EXPECT_EQ(CountShown(0, 0, 640, 480, 0x696969), kAll);
  ASSERT_TRUE(Frames("E"));
  EXPECT_EQ(CountShown(0, 0, 640, 480, 0), kAll);
  EXPECT_EQ(Summary(), "mode=0 cursor=0 page=next");
  EXPECT_EQ(platform_.presents(), presents + 2);  // each fade step is shown
  EXPECT_EQ(PageAfter("E"), "next");  // held through the fade: fade frames keep the latch
  EXPECT_GT(CountShown(0, 0, 640, 480, kWhitePixel), kAll - 2000);  // the same scene, drawn again
  EXPECT_EQ(PageAfter(". E"), "last");
  EXPECT_FALSE(Frames("X"));  // Escape, from any screen
}

TEST_F(Story, NoticesSaveAndLoadFromTheMenu) {
  constexpr uint32_t kGrey = 0x808080;  // the box's white and black both show
  story_.Write("grey.bmp", EncodeBmp(SolidImage(640, 480, kGrey), 24));
  story_.Write("theme.wav", WavBytes(60000));
  story_.Write("rain.wav", WavBytes(60000));
  Start("@Ggrey.bmp,@Mtheme.wav,one@E@Arain.wav,@Dtwo@E");
  ASSERT_TRUE(Frames("S E ."));
  EXPECT_EQ(Shown(300, 245), kWhitePixel);  // inside the box
  EXPECT_EQ(Shown(230, 230), 0u);           // its outline
  ASSERT_TRUE(Frames("E"));  // dismissed, and still drawn in this frame
  EXPECT_EQ(Shown(300, 245), kWhitePixel);
  ASSERT_TRUE(Frames(". . E ."));
  EXPECT_EQ(Shown(300, 245), kGrey);
  EXPECT_EQ(Summary(), "mode=0 cursor=0 page=onetwo");

  EXPECT_EQ(After("S D . E"), "mode=0 cursor=0 page=one loaded");  // load
  EXPECT_EQ(platform_.audio().starts(AudioChannel::kMusic), 2);
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 1u);
  ASSERT_TRUE(Frames("E"));  // the press that loaded does not dismiss it
  EXPECT_EQ(state_.screen.loadedNotice, 1u);
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 0u);  // stopped while the notice shows
  EXPECT_EQ(After(". E . E"), "mode=0 cursor=0 page=onetwo");

  // A load that fails returns to the page; a save that fails says so until
  // a fresh Enter, and nothing else moves meanwhile.
  std::filesystem::remove(story_.Path("DATA/save.txt"));
  EXPECT_EQ(After(". S D . E"), "mode=0 cursor=0 page=onetwo");
  std::filesystem::remove_all(story_.Path("DATA"));
  EXPECT_EQ(After(". S E E . S"), "mode=0 cursor=0 page=onetwo savefailed");
  EXPECT_EQ(CountShown(418, 214, 422, 246, 0xFFFFFF), 4 * 32);  // the box's margin, past its eleven characters
  EXPECT_EQ(After(". E"), "mode=0 cursor=0 page=onetwo");
}

// The sound card rests after 2 s of silence and wakes for the next sound; music keeps it awake.
TEST_F(Story, TheSoundCardRestsInSilence) {
  story_.Write("Page.wav", WavBytes(100));
  story_.Write("long.wav", WavBytes(3000));
  Start("@Pone@E@R@Ptwo@E@R@Mlong.wav,three@E");
  const SimulatedAudio& audio = platform_.audio();
  ASSERT_TRUE(Frames(".*60"));  // 2 s, the page sound's 100 ms among them
  EXPECT_TRUE(audio.cardOpen());
  ASSERT_TRUE(Frames(".*5"));
  EXPECT_FALSE(audio.cardOpen());
  ASSERT_TRUE(Frames("E . E .*200"));  // the next page sound wakes it; the music plays on
  EXPECT_TRUE(audio.cardOpen());
  EXPECT_EQ(std::pair(audio.cardOpens(), audio.starts(AudioChannel::kPageSound)), std::pair(2, 2));
}

TEST_F(Story, SoundsAcrossFramesAndTheTitleNotice) {
  story_.Write("short.wav", WavBytes(100));
  story_.Write("rain.wav", WavBytes(60000));
  Start("@R@Mshort.wav,@Arain.wav,first@E@D@Rsecond@E");
  ASSERT_TRUE(Frames(".*10"));  // 330 ms: the music ended and restarted three times
  EXPECT_EQ(platform_.audio().starts(AudioChannel::kMusic), 4);
  ASSERT_TRUE(Frames("E .*10"));
  EXPECT_EQ(platform_.audio().starts(AudioChannel::kMusic), 4);
  ASSERT_TRUE(Frames("S D . D . D . D . E"));  // to the title
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 1u);
  ASSERT_TRUE(Frames("."));
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 0u);  // stopped while the notice shows
  EXPECT_EQ(PageAfter("E"), "first");
  // The first page started the effect again, and the same frame stopped it.
  EXPECT_EQ(platform_.audio().starts(AudioChannel::kLoopEffect), 2);
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 0u);

  // "@Z" before the first stop ends the loop before any frame.
  test::StoryPlayer quitting;
  quitting.Start("@Zpage@E");
  EXPECT_FALSE(MainLoopStep(quitting.state_, quitting.platform_));
  EXPECT_EQ(quitting.platform_.processed(), 0u);
  struct Closed : HeadlessPlatform {  // the window was closed: the quit message
    bool TakeMessage(Message* message) override { return *message = Message{}, true; }
  } closed;
  EXPECT_FALSE(MainLoopStep(state_, closed));
}

// Each screen against tests/golden/*.png; KS_UPDATE_GOLDEN=1 rewrites them for review.
TEST_F(Story, GoldenEveryScreenLooksAsItDid) {
  Image bands{640, 480, {}};  // bright and dark bands behind white, black and green text
  for (int y = 0; y < 480; ++y) {
    static const uint32_t kColours[] = {0x203050, 0x6080C0, 0xE0E0F0, 0x402010, 0xC08040, 0x104020, 0x80C090, 0};
    bands.pixels.insert(bands.pixels.end(), 640, kColours[y / 60]);
  }
  story_.Write("bands.bmp", EncodeBmp(bands, 24));
  // Shift-JIS with CR LF: 春の夜、古い紙芝居の箱が開く。 / ﾊﾝｶｸｶﾅ, an underline,
  // one "&" / 三行目はここまで。, then a choice list of 右の道へ and 左の道へ.
  Start("@Gbands.bmp,@R\x8f\x74\x82\xcc\x96\xe9\x81\x41\x8c\xc3\x82\xa2\x8e\x86\x8e\xc5\x8b\x8f\x82\xcc"
        "\x94\xa0\x82\xaa\x8a\x4a\x82\xad\x81\x42\r\n\xca\xdd\xb6\xb8\xb6\xc5 ABC abc 123 &Prefix &&\r\n"
        "\x8e\x4f\x8d\x73\x96\xda\x82\xcd\x82\xb1\x82\xb1\x82\xdc\x82\xc5\x81\x42@E\r\n@R@H@C"
        "\x89\x45\x82\xcc\x93\xb9\x82\xd6,1\r\n\x8d\xb6\x82\xcc\x93\xb9\x82\xd6,2\r\n@\r\n"
        "@S1\r\n@Rright@E\r\n@S2\r\n@Rleft@E");
  const std::pair<const char*, const char*> shots[] = {
      {".", "page"}, {"S . D .", "menu"}, {"U . E .", "saved"}, {"E . S D . E .", "loaded"},
      {"E . S D . D . D . D . E .", "title"}, {"E . E D .", "choice"}};
  const bool update = std::getenv("KS_UPDATE_GOLDEN") != nullptr;
  for (const auto& [keys, name] : shots) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(Frames(keys));
    const std::string path = std::string(KS_GOLDEN_DIR "/") + name + ".png";
    std::string error;
    Image golden;
    if (update) {
      ASSERT_TRUE(WritePng(path, state_.display.primarySurface, &error)) << error;
    }
    ASSERT_TRUE(test::ReadPng(path, &golden, &error)) << error;
    EXPECT_TRUE(golden.width == 640 && golden.pixels == state_.display.primarySurface.pixels) << path;
  }
  EXPECT_EQ(state_.screen.uiMode, 2);
  EXPECT_EQ(state_.screen.cursor, 1);
}

}  // namespace
}  // namespace ks

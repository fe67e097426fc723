#include "engine/frame.h"

#include <filesystem>

#include "bmp_writer.h"
#include "frame_support.h"

namespace ks {
namespace {

using test::EncodeBmp;
using test::FrameTest;
using test::PageString;
using test::SolidImage;
using test::WavBytes;

constexpr Rect kScreen{0, 0, 640, 480};
constexpr Rect kFirstLine{40, 35, 600, 51};  // the page's first line of text
constexpr uint32_t kWhitePixel = 0xFFFFFF;

using Story = FrameTest;

TEST_F(Story, GateOpensEvery33MillisecondsOnAnUnsignedDifference) {
  Start("one@Etwo@E");
  platform_.SetKeys({.keys = {.enter = true}});
  EXPECT_FALSE(UpdateFrame(state_, platform_));  // 0 ms since the last frame (0)
  platform_.Advance(32);
  EXPECT_FALSE(UpdateFrame(state_, platform_));
  EXPECT_EQ(PageString(state_), "one");
  EXPECT_EQ(platform_.presents(), 0u);
  platform_.Advance(1);
  EXPECT_TRUE(UpdateFrame(state_, platform_));
  EXPECT_EQ(PageString(state_), "onetwo");
  EXPECT_EQ(state_.screen.lastFrameTime, 33u);
  platform_.Advance(32);
  EXPECT_FALSE(UpdateFrame(state_, platform_));

  // Across the clock's wrap the difference is still 33.
  state_.screen.lastFrameTime = 0xFFFFFFF0u;
  platform_.Advance(uint32_t(0x11u - platform_.NowMs()));
  EXPECT_TRUE(UpdateFrame(state_, platform_));
  EXPECT_EQ(TimeToNextFrame(state_, platform_.NowMs()), 33u);
}

TEST_F(Story, FirstPageShowsInTheFirstFrameAndEachEnterPressTurnsOnePage) {
  Start("one@E@Rtwo@E@Rthree@E");
  EXPECT_EQ(PageString(state_), "one");
  ASSERT_TRUE(Frame());
  EXPECT_GT(CountShown(kFirstLine, kWhitePixel), 20);
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "two");
  Frames(3, "E");  // held: nothing more
  EXPECT_EQ(PageString(state_), "two");
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "three");
}

TEST_F(Story, SpaceOpensTheMenuOnlyOnAPlainPage) {
  Start("page@E@Ca,1,b,2,@");
  ASSERT_TRUE(Frame("S"));
  EXPECT_EQ(state_.screen.uiMode, kUiMenu);
  Frames(2, "D");  // one press: row 1
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("D"));
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("E"));  // row 2: cancel
  EXPECT_EQ(state_.screen.uiMode, kUiPage);
  EXPECT_EQ(state_.screen.cursor, 0);

  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("ES"));  // Enter acts, so Space is ignored
  EXPECT_EQ(state_.screen.uiMode, 2);
  ASSERT_TRUE(Frame("S"));  // the choice list never reads Space
  EXPECT_EQ(state_.screen.uiMode, 2);

  state_.screen.uiMode = kUiPage;
  state_.screen.savedNotice = 1;
  ASSERT_TRUE(Frame("S"));  // nor does a page with a notice
  EXPECT_EQ(state_.screen.uiMode, kUiPage);
}

TEST_F(Story, MenuAndChoiceCursorsStayInBounds) {
  Start("page@E@Ca,1,b,2,c,3,@");
  ASSERT_TRUE(Frame("S"));
  ASSERT_TRUE(Frame("U"));
  EXPECT_EQ(state_.screen.cursor, 0);
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(Frame());
    ASSERT_TRUE(Frame("D"));
  }
  EXPECT_EQ(state_.screen.cursor, 4);
  ASSERT_TRUE(Frame());
  Frames(3, "U");  // held: one step
  EXPECT_EQ(state_.screen.cursor, 3);

  Frames(2);
  ASSERT_TRUE(Frame("E"));  // row 3 quits
  EXPECT_EQ(state_.screen.quitRequested, 1u);
  EXPECT_FALSE(Frame());
}

TEST_F(Story, ChoiceListCursorStopsAtTheLastChoice) {
  Start("@Ca,1,b,2,c,3,@");
  EXPECT_EQ(state_.screen.uiMode, 3);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(Frame("D"));
    ASSERT_TRUE(Frame());
  }
  EXPECT_EQ(state_.screen.cursor, 2);
  Frames(2, "U");
  EXPECT_EQ(state_.screen.cursor, 1);
}

TEST_F(Story, TakingAChoiceFollowsItsLabelAndADownInThatFrameLeavesTheCursorAtMinusOne) {
  Start("@Cleft,1\nright,2\n@\n@S1\nwent left@E\n@S2\nwent right@E");
  ASSERT_TRUE(Frame("D"));
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("ED"));
  EXPECT_EQ(state_.screen.uiMode, kUiPage);
  EXPECT_EQ(PageString(state_), "went right");
  EXPECT_EQ(state_.screen.cursor, -1);
  // In the menu a row outside 0 to 4 acts like cancel.
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("S"));
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(state_.screen.uiMode, kUiPage);
  EXPECT_EQ(state_.screen.cursor, 0);
  EXPECT_EQ(state_.screen.savedNotice + state_.screen.titleNotice + state_.screen.quitRequested, 0u);
}

TEST_F(Story, PageThatRunsIntoAChoiceListIsDrawnOnceMoreWithItsOldText) {
  Start("a much longer first page@E@R@Cx,1,@");
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(state_.screen.uiMode, 1);
  EXPECT_GT(CountShown(kFirstLine, kWhitePixel), 50);  // stale page text for one frame
  ASSERT_TRUE(Frame());
  EXPECT_EQ(CountShown(kFirstLine, kWhitePixel), 0);
  EXPECT_GT(CountShown({265, 320, 300, 336}, 0x32FF32), 5);  // the highlighted choice
}

TEST_F(Story, NewPictureShowsOneFrameAfterItsPage) {
  story_.Write("red.bmp", EncodeBmp(SolidImage(640, 480, 0xFF0000), 24));
  Start("first@E@Gred.bmp,second@E");
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "firstsecond");
  EXPECT_EQ(Shown(5, 470), 0u);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(Shown(5, 470), 0xFF0000u);
}

TEST_F(Story, WhiteScreenFadesInTwoFadeFramesThenTheStoryGoesOn) {
  story_.Write("white.bmp", EncodeBmp(SolidImage(640, 480, 0xFFFFFF), 24));
  Start("@Gwhite.bmp,@E@Fnext@E@Rlast@E");
  ASSERT_TRUE(Frame());
  EXPECT_EQ(CountShown(kScreen, kWhitePixel), 640 * 480);
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(state_.screen.fadeActive, 1u);
  const uint64_t presents = platform_.presents();
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(CountShown(kScreen, 0x696969), 640 * 480);
  EXPECT_EQ(state_.screen.fadeActive, 1u);
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(CountShown(kScreen, 0), 640 * 480);
  EXPECT_EQ(state_.screen.fadeActive, 0u);
  EXPECT_EQ(PageString(state_), "next");
  EXPECT_EQ(platform_.presents(), presents + 2);  // each fade step is shown
  // Enter was held through the fade: fade frames never clear its latch.
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "next");
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "last");
}

TEST_F(Story, SaveShowsItsNoticeUntilAFreshEnterAndKeepsThePage) {
  constexpr uint32_t kGrey = 0x808080;  // so that the box's white and black both show
  story_.Write("grey.bmp", EncodeBmp(SolidImage(640, 480, kGrey), 24));
  Start("@Ggrey.bmp,the page@Enext@E");
  ASSERT_TRUE(Frame("S"));
  ASSERT_TRUE(Frame("E"));  // row 0: save
  EXPECT_EQ(state_.screen.savedNotice, 1u);
  EXPECT_EQ(story_.Read("DATA/save.txt").size(), 1068u);
  ASSERT_TRUE(Frame("E"));  // still held
  EXPECT_EQ(state_.screen.savedNotice, 1u);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(Shown(300, 245), kWhitePixel);  // inside the box
  EXPECT_EQ(Shown(230, 230), 0u);           // its outline
  ASSERT_TRUE(Frame("E"));                  // dismissed, still drawn this frame
  EXPECT_EQ(state_.screen.savedNotice, 0u);
  EXPECT_EQ(Shown(300, 245), kWhitePixel);
  EXPECT_EQ(PageString(state_), "the page");
  ASSERT_TRUE(Frame());
  EXPECT_EQ(Shown(300, 245), kGrey);
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "the pagenext");
}

TEST_F(Story, SaveThatFailsAnnouncesNothing) {
  Start("page@E");
  std::filesystem::remove_all(story_.Path("DATA"));
  ASSERT_TRUE(Frame("S"));
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(state_.screen.savedNotice, 0u);
  EXPECT_EQ(state_.screen.uiMode, kUiPage);
}

TEST_F(Story, LoadFromTheMenuRestoresThePageAndMusicAndEndsTheFrameUnflipped) {
  story_.Write("theme.wav", WavBytes(60000));
  Start("@Mtheme.wav,one@E@Dtwo@E");
  ASSERT_TRUE(Frame("S"));
  ASSERT_TRUE(Frame("E"));  // save on page "one"
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("E"));  // dismiss the notice
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "onetwo");
  EXPECT_EQ(state_.sound.bgmChannel.playing, 0u);

  // Load: without a save it would announce nothing (tested below).
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("S"));
  ASSERT_TRUE(Frame("D"));
  ASSERT_TRUE(Frame());
  const uint64_t presents = platform_.presents();
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(platform_.presents(), presents);  // no flip in the frame that loads
  EXPECT_EQ(state_.screen.uiMode, kUiPage);
  EXPECT_EQ(state_.screen.loadedNotice, 1u);
  EXPECT_EQ(PageString(state_), "one");
  EXPECT_EQ(state_.sound.bgmChannel.playing, 1u);
  EXPECT_EQ(platform_.audio().starts(AudioChannel::kMusic), 2);
  ASSERT_TRUE(Frame("E"));  // the press that loaded does not dismiss it
  EXPECT_EQ(state_.screen.loadedNotice, 1u);
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(state_.screen.loadedNotice, 0u);
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "onetwo");

  std::filesystem::remove(story_.Path("DATA/save.txt"));
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("S"));
  ASSERT_TRUE(Frame("D"));
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(state_.screen.loadedNotice, 0u);
  EXPECT_EQ(state_.screen.uiMode, kUiPage);
  EXPECT_EQ(PageString(state_), "onetwo");
}

TEST_F(Story, ToTitleShowsItsNoticeThenRestartsTheScriptAndStopsTheLoopingEffect) {
  story_.Write("rain.wav", WavBytes(60000));
  Start("@R@Arain.wav,first@E@Rsecond@E");
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(PageString(state_), "second");
  ASSERT_TRUE(Frame());
  ASSERT_TRUE(Frame("S"));
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(Frame("D"));
    ASSERT_TRUE(Frame());
  }
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(state_.screen.titleNotice, 1u);
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 1u);
  ASSERT_TRUE(Frame());
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 0u);  // stopped while the notice shows
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(state_.screen.titleNotice, 0u);
  EXPECT_EQ(PageString(state_), "first");
  // The first page started the effect again, and the same frame stopped it.
  EXPECT_EQ(platform_.audio().starts(AudioChannel::kLoopEffect), 2);
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 0u);
}

TEST_F(Story, WaitingPageIsNotRedrawnButAFadedScreenIs) {
  story_.Write("white.bmp", EncodeBmp(SolidImage(640, 480, 0xFFFFFF), 24));
  Start("@Gwhite.bmp,@E@F@E");
  ASSERT_TRUE(Frame());
  const uint64_t presents = platform_.presents();
  Frames(10);  // the reader reads: the same picture, nothing sent again
  EXPECT_EQ(platform_.presents(), presents);
  EXPECT_EQ(CountShown(kScreen, kWhitePixel), 640 * 480);

  ASSERT_TRUE(Frame("E"));  // the fade: the page and the picture stay the same
  Frames(2);
  EXPECT_EQ(state_.screen.fadeActive, 0u);
  EXPECT_EQ(CountShown(kScreen, 0), 640 * 480);
  ASSERT_TRUE(Frame());  // no key down, same scene, but the screen was faded
  EXPECT_EQ(CountShown(kScreen, kWhitePixel), 640 * 480);
}

TEST_F(Story, ScreenModeOutsideTheKnownOnesShowsOnlyTheBackground) {
  Start("text@E");
  state_.screen.uiMode = 9;
  ASSERT_TRUE(Frame("E"));
  EXPECT_EQ(CountShown(kScreen, 0), 640 * 480);
}

TEST_F(Story, EscapeQuitsFromAnyScreenAndZBeforeTheFirstStopQuitsAtOnce) {
  story_.Write("white.bmp", EncodeBmp(SolidImage(640, 480, 0xFFFFFF), 24));
  Start("@Gwhite.bmp,@E@Fnext@E");
  ASSERT_TRUE(Frame("E"));
  ASSERT_TRUE(Frame());
  EXPECT_EQ(state_.screen.fadeActive, 1u);
  EXPECT_FALSE(Frame("X"));  // in the middle of the fade

  EngineState quitting;
  quitting.storyRoot = story_.root();
  HeadlessPlatform platform;
  story_.WriteScript("@Zpage@E");
  std::string error;
  ASSERT_TRUE(StartUp(quitting, platform, &error)) << error;
  EXPECT_FALSE(MainLoopStep(quitting, platform));
  EXPECT_EQ(platform.processed(), 0u);
}

TEST_F(Story, MusicRepeatsEachTimeItEndsUntilItIsStopped) {
  story_.Write("short.wav", WavBytes(100));
  Start("@Mshort.wav,page@E@D@E");
  Frames(10);  // 330 ms: it ended three times
  EXPECT_EQ(platform_.audio().starts(AudioChannel::kMusic), 4);
  ASSERT_TRUE(Frame("E"));
  Frames(10);
  EXPECT_EQ(platform_.audio().starts(AudioChannel::kMusic), 4);
  EXPECT_FALSE(platform_.audio().IsPlaying(AudioChannel::kMusic));
}

}  // namespace
}  // namespace ks

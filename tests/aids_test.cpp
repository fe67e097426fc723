// The reading aids frame by frame: the backlog, skip, auto mode and the read
// marks kept between runs.
#include <cstdlib>
#include <filesystem>

#include "platform/story_watch.h"
#include "reader/aids.h"
#include "reader/watch.h"
#include "support.h"

namespace ks {
namespace {

using test::PageString;

std::string Pages(int count, const std::string& after = "") {
  std::string script;
  for (int i = 1; i <= count; ++i) script += "@Rp" + std::to_string(i) + "@E";
  return script + after;
}

class Aids : public test::FrameTest {
 protected:
  void SetUp() override { setenv("XDG_DATA_HOME", story_.Path("data").c_str(), 1); }
};

TEST_F(Aids, BacklogGoesBackAndReturnsToThePageExactlyWithoutMovingTheStory) {
  Start(Pages(250));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Frames("E ."));
  const std::vector<uint32_t> page = state_.display.primarySurface.pixels;
  ASSERT_TRUE(Frames("B"));  // back one page: p3 of 4
  EXPECT_EQ(state_.reader.backlogShown, 1);
  EXPECT_EQ(state_.reader.backlog[size_t(4 - 1 - 1)], "p3");
  EXPECT_NE(state_.display.primarySurface.pixels, page);
  ASSERT_TRUE(Frames(". B . B . B"));  // no further than the first
  EXPECT_EQ(state_.reader.backlogShown, 3);
  ASSERT_TRUE(Frames(". SUD"));  // no key reaches the story
  EXPECT_EQ(Summary(), "mode=0 cursor=0 page=p4");
  ASSERT_TRUE(Frames(". N . N . N . N"));  // past the newest it closes
  EXPECT_EQ(state_.reader.backlogShown, -1);
  EXPECT_EQ(state_.display.primarySurface.pixels, page);
  ASSERT_TRUE(Frames("B E E"));  // Enter closes it, and does nothing more while held
  EXPECT_EQ(Summary(), "mode=0 cursor=0 page=p4");
  ASSERT_TRUE(Frames(". E"));
  EXPECT_EQ(PageString(state_), "p5");

  for (int i = 0; i < 240; ++i) ASSERT_TRUE(Frames(". E"));
  EXPECT_EQ(state_.reader.backlog.size(), kBacklogPages);
  EXPECT_EQ(state_.reader.backlog.front(), "p46");
  ASSERT_TRUE(Frames("S B"));  // not in the menu
  EXPECT_EQ(state_.reader.backlogShown, -1);
  test::StoryPlayer choice;  // a run that stops at a choice list shows no page of its own
  choice.Start("@Rp1@E@Rq@Cx,1,@\n@S1\n@Rp2@E");
  ASSERT_TRUE(choice.Frames("E . E ."));
  EXPECT_EQ(choice.state_.reader.backlog, (std::deque<std::string>{"p1", "p2"}));
}

TEST_F(Aids, SkipStopsAtEachStopAndTheFirstUnreadPage) {
  for (const char* name : {"bell.wav", "Page.wav", "theme.wav"}) story_.Write(name, test::WavBytes(60000));
  const std::string script = "@Rp1@E@P@Wbell.wav,@Rp2@E@Mtheme.wav,@Rp3@E@Rp4@E";
  Start(script);
  ASSERT_TRUE(Frames("E ."));  // p1 and p2 read
  test::StoryPlayer again;  // the same story a second time
  again.state_.reader.readRuns = state_.reader.readRuns;
  std::filesystem::copy(story_.root(), again.story_.root(), std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  again.Start();
  ASSERT_TRUE(again.Frames("K K K K"));
  EXPECT_EQ(again.Summary(), "mode=0 cursor=0 page=p3");  // the first unread page stops it
  const SimulatedAudio& audio = again.platform_.audio();  // skipped pages play no one-shot; music follows
  EXPECT_EQ(std::vector<int>({audio.starts(AudioChannel::kOneShotEffect), audio.starts(AudioChannel::kPageSound),
                              audio.starts(AudioChannel::kMusic)}), std::vector<int>({0, 0, 1}));

  // With --skip-all: through a fade at once, to a choice list; then to a
  // notice. Every run while skip is on is quiet, wherever it starts: after
  // the fade, the choice taken with Ctrl held, the title's restart.
  test::StoryPlayer all;
  all.state_.reader.skipAllAlways = true;
  for (const char* name : {"bell.wav", "Page.wav"}) all.story_.Write(name, test::WavBytes(100));
  all.Start("@P@Wbell.wav,@Rp1@E@F@P@Wbell.wav,@Rp2@E@Cx,1,@\n@S1\n@P@Wbell.wav,@Rp3@E@T@Rp4@E@Rp5@E");
  ASSERT_TRUE(all.Frames("K K K K"));
  EXPECT_EQ(all.Summary(), "mode=1 cursor=0 page=p2");
  ASSERT_TRUE(all.Frames("EK . T . ."));
  EXPECT_EQ(all.Summary(), "mode=0 cursor=0 page=p4 title");
  EXPECT_FALSE(all.state_.reader.skipOn);
  ASSERT_TRUE(all.Frames("EK ."));
  EXPECT_EQ(PageString(all.state_), "p1");
  const SimulatedAudio& heard = all.platform_.audio();  // only the first page's, before skipping
  EXPECT_EQ(heard.starts(AudioChannel::kOneShotEffect), 1);
  EXPECT_EQ(heard.starts(AudioChannel::kPageSound), 1);
}

TEST_F(Aids, ReadMarksSurviveARestartAndResetWhenTheScriptChanges) {
  const std::string script = Pages(3);
  auto play = [&](const std::string& text, const std::string& keys) {
    test::StoryPlayer player;
    player.state_.reader.keepReadMarks = true;
    player.story_.WriteScript(text);
    player.Start();
    EXPECT_TRUE(player.Frames(keys));
    std::string error;
    EXPECT_TRUE(WriteReadMarks(player.state_.reader.readMarksFile, player.state_.reader.readRuns,
                               player.state_.script.scriptSize, &error));
    return std::pair{PageString(player.state_), player.state_.reader.readMarksFile};
  };
  const auto [page, file] = play(script, "E");
  EXPECT_EQ(page, "p2");
  EXPECT_EQ(play(script, "K K K").first, "p3");    // p1 and p2 were read: on to p3, which was not
  EXPECT_EQ(play(script + " ", "K K K").first, "p1");  // an edited script starts afresh

  std::filesystem::resize_file(file, 30);  // damaged
  EngineState state;
  state.script.scriptSize = 40;
  state.reader.readMarksFile = file;
  std::string problem;
  LoadReadMarks(state, &problem);
  EXPECT_NE(problem.find("damaged; starting with no page read"), std::string::npos) << problem;
  EXPECT_TRUE(state.reader.readRuns.empty());
}

TEST_F(Aids, AutoWaitsForTheTimeAndTheSoundsAndStopsAtAKey) {
  story_.Write("bell.wav", test::WavBytes(3000));
  Start("@Rshort@E@Wbell.wav,@Rlonger@E@Rlast@E@Rend@E");
  ASSERT_TRUE(Frames("A .*51"));  // 1.5 s and 5 characters of 50 ms: 52 frames
  EXPECT_EQ(PageString(state_), "short");
  ASSERT_TRUE(Frames(".*3"));
  EXPECT_EQ(PageString(state_), "longer");
  ASSERT_TRUE(Frames(".*80"));  // the bell rings for 3 s, longer than the page's wait
  EXPECT_EQ(PageString(state_), "longer");
  ASSERT_TRUE(Frames(".*15"));
  EXPECT_EQ(PageString(state_), "last");
  ASSERT_TRUE(Frames("D .*100"));  // any key stops it
  EXPECT_EQ(PageString(state_), "last");
  EXPECT_FALSE(state_.reader.autoOn);
}

}  // namespace
}  // namespace ks

namespace ks {
namespace {

// Watch mode on real files: an edit, an editor's atomic replace, a delete and
// a re-create, a script that cannot be read, a page whose start is gone.
TEST_F(Aids, WatchPlaysThePageAgainOverTheEditedStory) {
  Start("xx@S1\n@Rone@E@Rtwo@E");
  ASSERT_TRUE(Frames("E ."));
  StoryWatch watch;
  std::string error;
  ASSERT_TRUE(watch.Start(story_.root(), &error)) << error;
  std::vector<std::string> changed;
  auto edited = [&](const std::string& expected) {
    ASSERT_TRUE(watch.TakeChanges(&changed));
    ReloadStory(state_, changed);
    ASSERT_TRUE(Frames("."));
    EXPECT_EQ(PageString(state_), expected);
  };
  story_.WriteScript("xx@S1\n@Rone@E@Rtwo, edited@E");  // written in place
  edited("two edited");
  story_.Write("DATA/Script.txt.new", "x@S1\n@Rone@E@Rtwo again@E");  // as editors save
  std::filesystem::rename(story_.Path("DATA/Script.txt.new"), story_.Path("DATA/Script.txt"));
  edited("two again");  // found after its label, which moved
  std::filesystem::remove(story_.Path("DATA/Script.txt"));
  edited("two again");  // unreadable mid-edit: the old script goes on
  std::filesystem::create_directory(story_.Path("DATA/Script.txt"));
  edited("two again");
  std::filesystem::remove(story_.Path("DATA/Script.txt"));
  story_.WriteScript("@S1\n@Rone, changed@E@Rtwo@E");  // the page's start is gone: from label 1
  edited("one changed");
  ASSERT_TRUE(Frames("E ."));
  EXPECT_EQ(PageString(state_), "two");
  story_.Write("DATA/save.txt", "x");  // the player's own save is no change
  EXPECT_FALSE(watch.TakeChanges(&changed) && ReloadStory(state_, changed));
}

}  // namespace
}  // namespace ks

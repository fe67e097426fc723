// The reading aids frame by frame: backlog, skip, auto mode, read marks, watch mode.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/desktop/story_watch.h"
#include "reader/aids.h"
#include "reader/watch.h"
#include "support.h"

namespace ks {
namespace {

using test::PageString;
using test::Pages;

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
  EXPECT_EQ(After(". SUD"), "mode=0 cursor=0 page=p4");  // no key reaches the story
  ASSERT_TRUE(Frames(". N . N . N . N"));  // past the newest it closes
  EXPECT_EQ(state_.reader.backlogShown, -1);
  EXPECT_EQ(state_.display.primarySurface.pixels, page);
  EXPECT_EQ(After("B E E"), "mode=0 cursor=0 page=p3");  // Enter on an earlier page goes back to it, and does nothing more while held
  EXPECT_EQ(state_.reader.backlog, (std::deque<std::string>{"p1", "p2", "p3"}));
  EXPECT_EQ(After("B . N E E"), "mode=0 cursor=0 page=p3");  // on the newest page Enter only closes it
  EXPECT_EQ(PageAfter(". E . E"), "p5");

  for (int i = 0; i < 240; ++i) ASSERT_TRUE(Frames(". E"));
  EXPECT_EQ(state_.reader.backlog.size(), kBacklogPages);
  EXPECT_EQ(state_.reader.backlog.front(), "p46");
  ASSERT_TRUE(Frames("S B"));  // not in the menu
  EXPECT_EQ(state_.reader.backlogShown, -1);
  // Each page of the backlog is drawn as it showed: page k's one line stands k lines down, there and in the backlog.
  test::StoryPlayer lines;
  lines.Start("@Rp1@E@R\rp2@E@R\r\rp3@E@R\r\r\rp4@E");
  auto topLine = [&] {
    for (int y = 0; y < 430; ++y) {
      if (lines.CountShown(40, y, 600, y + 1, 0xFFFFFF) > 0) return y;
    }
    return -1;
  };
  std::vector<int> shown, back;
  ASSERT_TRUE(lines.Frames("."));
  for (int i = 0; i < 3; ++i) {
    shown.push_back(topLine());
    ASSERT_TRUE(lines.Frames("E ."));
  }
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(lines.Frames("B ."));
    back.insert(back.begin(), topLine());
  }
  EXPECT_EQ(back, shown);
  EXPECT_LT(shown[0], shown[1]);

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
  EXPECT_EQ(again.After("K K K K"), "mode=0 cursor=0 page=p3");  // the first unread page stops it
  const SimulatedAudio& audio = again.platform_.audio();  // skipped pages play no one-shot; music follows
  EXPECT_EQ(std::vector<int>({audio.starts(AudioChannel::kOneShotEffect), audio.starts(AudioChannel::kPageSound),
                              audio.starts(AudioChannel::kMusic)}), std::vector<int>({0, 0, 1}));

  // --skip-all goes through a fade to a choice list, then to a notice; every
  // run while skip is on is quiet, wherever it starts.
  test::StoryPlayer all;
  all.state_.reader.skipAllAlways = true;
  for (const char* name : {"bell.wav", "Page.wav"}) all.story_.Write(name, test::WavBytes(100));
  all.Start("@P@Wbell.wav,@Rp1@E@F@P@Wbell.wav,@Rp2@E@Cx,1,@\n@S1\n@P@Wbell.wav,@Rp3@E@T@Rp4@E@Rp5@E");
  EXPECT_EQ(all.After("K K K K"), "mode=1 cursor=0 page=p2");
  EXPECT_EQ(all.After("EK . T . ."), "mode=0 cursor=0 page=p4 title");
  EXPECT_FALSE(all.state_.reader.skipOn);
  EXPECT_EQ(all.PageAfter("EK ."), "p1");
  const SimulatedAudio& heard = all.platform_.audio();  // only the first page's, before skipping
  EXPECT_EQ(std::pair(heard.starts(AudioChannel::kOneShotEffect), heard.starts(AudioChannel::kPageSound)), std::pair(1, 1));
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
  EXPECT_EQ(PageAfter("A .*51"), "short");  // 1.5 s and 5 characters of 50 ms: 52 frames
  EXPECT_EQ(PageAfter(".*3"), "longer");
  EXPECT_EQ(PageAfter(".*80"), "longer");  // the bell rings for 3 s, longer than the page's wait
  EXPECT_EQ(PageAfter(".*15"), "last");
  EXPECT_EQ(PageAfter("D .*100"), "last");  // any key stops it
  EXPECT_FALSE(state_.reader.autoOn);

  // Five double-byte characters wait as long as five letters, not ten.
  test::StoryPlayer japanese;
  japanese.Start("@R\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8@E@Rnext@E");  // あいうえお
  EXPECT_NE(japanese.PageAfter("A .*51"), "next");
  EXPECT_EQ(japanese.PageAfter(".*3"), "next");

  // The speed keys step along fixed rungs: [ ] ] [ comes back exactly.
  const Settings start = state_.reader.settings;
  std::vector<std::pair<int, int>> seen;
  for (Intent key : {Intent::kAutoSlower, Intent::kAutoFaster, Intent::kAutoFaster, Intent::kAutoSlower}) {
    Intents intents;
    intents.Add(key);
    DriveAids(state_, intents, 0);
    seen.emplace_back(state_.reader.settings.autoDelayMs, state_.reader.settings.autoCharMs);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2000, 60}, {1500, 50}, {1200, 40}, {1500, 50}}));
  EXPECT_EQ(state_.reader.settings, start);
}

// Watch mode on real edits, renames, deletes, half-saved scripts and pages whose start is gone.
TEST_F(Aids, WatchPlaysThePageAgainOverTheEditedStory) {
  Start("xx@S1\n@Rone@E@Rtwo@E");
  ASSERT_TRUE(Frames("E ."));
  uint64_t now = 0;
  StoryWatch watch(StoryWatch::kSettleMs, [&] { return now; });
  std::string error;
  ASSERT_TRUE(watch.Start(story_.root(), &error)) << error;
  std::vector<std::string> changed;
  auto edited = [&](const std::string& expected, const std::string& said) {
    ASSERT_FALSE(watch.TakeChanges(&changed));  // seen now: not quiet yet
    now += StoryWatch::kSettleMs - 1;
    ASSERT_FALSE(watch.TakeChanges(&changed));
    now += 1;
    ASSERT_TRUE(watch.TakeChanges(&changed));
    const std::string lines = test::Stderr([&] { ReloadStory(state_, changed); });
    EXPECT_EQ(PageAfter("."), expected);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), said.empty() ? 0 : 1) << lines;
    EXPECT_NE(lines.find(said), std::string::npos) << lines;
  };
  story_.WriteScript("xx@S1\n@Rone@E@Rtwo, edited@E");  // written in place
  edited("two edited", "");
  story_.Write("DATA/Script.txt.new", "x@S1\n@Rone@E@Rtwo again@E");  // as editors save
  std::filesystem::rename(story_.Path("DATA/Script.txt.new"), story_.Path("DATA/Script.txt"));
  edited("two again", "");  // found after its label, which moved
  std::filesystem::remove(story_.Path("DATA/Script.txt"));
  edited("two again", "the story goes on with the script as it was");  // unreadable mid-edit: the old script goes on
  std::filesystem::create_directory(story_.Path("DATA/Script.txt"));
  edited("two again", "the story goes on with the script as it was");
  std::filesystem::remove(story_.Path("DATA/Script.txt"));
  story_.WriteScript("");
  edited("two again", "is empty, as while an editor saves it");
  story_.WriteScript("x@S1\n@Rone@E@Rtwo again@E\x82");
  edited("two again", "ends inside a double-byte character");
  story_.WriteScript("x@S1\n@Rone@E@Rtwo again@E@Rthree@E");  // written whole again: the same page
  edited("two again", "");
  story_.WriteScript("@S1\n@Rone, changed@E@S2\n@Rtwo@E@Rthree@E");  // the page's start is gone: from label 1
  edited("one changed", "playing from label 1, which shows the page 「one changed」");
  EXPECT_EQ(PageAfter("E . E ."), "three");
  story_.WriteScript("@S1\n@Rone, changed@E@Rthree, new@E");  // its label gone too: the one before it
  edited("one changed", "playing from label 1, which shows");
  story_.Write("DATA/save.txt", "x");  // the player's own save is no change
  now += StoryWatch::kSettleMs;
  EXPECT_FALSE(watch.TakeChanges(&changed) && ReloadStory(state_, changed));
}

// After a reload marks go under the edited script's id; the original's stay whole.
TEST_F(Aids, WatchFilesReadMarksUnderTheScriptTheyBelongTo) {
  state_.reader.keepReadMarks = true;
  const std::string original = Pages(3);
  Start(original);
  ASSERT_TRUE(Frames("E . E ."));
  const auto originalRuns = state_.reader.readRuns;
  const std::string originalFile = state_.reader.readMarksFile;
  std::string error;
  ASSERT_TRUE(WriteReadMarks(originalFile, state_.reader.readRuns, state_.script.scriptSize, &error)) << error;  // as the player does

  story_.WriteScript(Pages(6));
  std::vector<std::string> changed{"DATA/Script.txt"};
  ASSERT_TRUE(ReloadStory(state_, changed));
  EXPECT_NE(state_.reader.readMarksFile, originalFile);
  EXPECT_EQ(PageAfter(". E . E ."), "p5");
  ASSERT_TRUE(WriteReadMarks(state_.reader.readMarksFile, state_.reader.readRuns, state_.script.scriptSize, &error)) << error;

  for (const auto& [script, runs] : {std::pair{original, originalRuns}, std::pair{Pages(6), state_.reader.readRuns}}) {
    test::StoryPlayer again;
    again.state_.reader.keepReadMarks = true;
    again.story_.WriteScript(script);
    EXPECT_EQ(test::Stderr([&] { again.Start(); }), "");  // not "damaged"
    EXPECT_TRUE(std::includes(again.state_.reader.readRuns.begin(), again.state_.reader.readRuns.end(), runs.begin(),
                              runs.end()));
  }
}

// Too many folders: the nearest first, one line; a file counts when closed.
TEST(StoryWatchFolders, NearestFirstAndOnlyWhatIsWritten) {
  // `folders` holds 300 folders, "0" to "299"; `leftOut` of the root, DATA, "z", the 300 and the folder holding them.
  struct Case { const char* what; std::string folders, written; size_t leftOut; };
  for (const Case& c : {Case{"many beside DATA, named to sort before it", "", "DATA/Script.txt", 1 + 1 + 1 + 300 - 256},
                        Case{"many in one folder, another beside it", "0", "z/night.bmp", 1 + 1 + 1 + 1 + 300 - 256}}) {
    SCOPED_TRACE(c.what);
    test::TempStory story;
    for (int i = 0; i < 300; ++i) std::filesystem::create_directories(story.Path(c.folders + "/" + std::to_string(i)));
    std::filesystem::create_directory(story.Path("z"));
    uint64_t now = 0;
    StoryWatch watch(StoryWatch::kSettleMs, [&] { return now; });
    std::string error;
    const std::string lines = test::Stderr([&] { EXPECT_TRUE(watch.Start(story.root(), &error)) << error; });
    EXPECT_EQ(watch.leftOut(), c.leftOut);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    EXPECT_NE(lines.find("or more folders further down go unseen"), std::string::npos) << lines;

    std::vector<std::string> changed;
    std::ofstream file(story.Path(c.written), std::ios::binary);
    file << "@Rhalf";
    file.flush();
    EXPECT_FALSE(watch.TakeChanges(&changed));
    now += StoryWatch::kSettleMs;
    EXPECT_FALSE(watch.TakeChanges(&changed));  // created and written, still open
    file.close();
    EXPECT_FALSE(watch.TakeChanges(&changed));
    now += StoryWatch::kSettleMs;
    ASSERT_TRUE(watch.TakeChanges(&changed));
    EXPECT_EQ(changed, std::vector<std::string>{c.written});
  }
}

}  // namespace
}  // namespace ks

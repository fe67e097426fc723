// The bundled demo story, played through every branch by the same walk that
// scripts/demo pictures (demo/walkthrough.txt).
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "support.h"
#include "script/checker.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::PageString;

class Demo : public test::FrameTest {};

TEST_F(Demo, EveryBranchPlaysToTheEnd) {
  if (!fs::exists(KS_DEMO_DIR "/DATA/Script.txt")) GTEST_SKIP() << "the demo story is not built";
  fs::copy(KS_DEMO_DIR, story_.root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  fs::remove(story_.Path("DATA/save.txt"));
  Start();

  std::ifstream walk(KS_SOURCE_DIR "/demo/walkthrough.txt");
  std::set<std::string> pictures, music, seen;
  bool ended = false;
  int pages = 0;
  for (std::string line; std::getline(walk, line) && !ended;) {
    std::istringstream fields(line);
    std::string keys;
    if (!(fields >> keys) || keys[0] == '#') continue;
    for (const std::string& frameKeys : {keys, std::string(".")}) {
      if (!Frames(frameKeys)) {
        ended = true;
        break;
      }
      pictures.insert(state_.assets.backgroundFile);
      music.insert(state_.assets.bgmFile);
      for (const auto& [on, what] : {std::pair{state_.screen.fadeActive, "fade"}, {state_.screen.titleNotice, "title"},
                                     {state_.screen.savedNotice, "saved"}, {state_.sound.loopSeChannel.playing, "rain"}}) {
        if (on) seen.insert(what);
      }
    }
    if (state_.screen.uiMode == kUiPage && !state_.screen.fadeActive && !state_.screen.quitRequested) {
      EXPECT_FALSE(PageString(state_).empty()) << "after line: " << line;
      ++pages;
    }
  }
  EXPECT_TRUE(ended || !MainLoopStep(state_, platform_)) << "the story did not end";
  EXPECT_EQ(state_.screen.quitRequested, 1u);
  EXPECT_GE(pages, 20);
  EXPECT_EQ(pictures, (std::set<std::string>{"title.bmp", "street.bmp", "river.bmp", "forest.bmp", "lantern.bmp",
                                             "ending.bmp"}));
  EXPECT_EQ(music, (std::set<std::string>{"theme.wav", "town.wav", "festival.wav"}));
  EXPECT_EQ(seen, (std::set<std::string>{"fade", "title", "saved", "rain"}));
  EXPECT_EQ(state_.sound.loopSeChannel.playing, 0u);  // "@Y" stopped it
  EXPECT_EQ(story_.Read("DATA/save.txt").size(), 1068u);
  EXPECT_GT(platform_.audio().starts(AudioChannel::kPageSound), 15);
  EXPECT_GE(platform_.audio().starts(AudioChannel::kOneShotEffect), 2);
}

TEST(DemoScript, ChecksClean) {
  if (!fs::exists(KS_DEMO_DIR "/DATA/Script.txt")) GTEST_SKIP() << "the demo story is not built";
  StoryCheck check;
  std::string error;
  ASSERT_TRUE(CheckStory(KS_DEMO_DIR, &check, &error)) << error;
  for (const Finding& finding : check.findings) ADD_FAILURE() << finding.line << ":" << finding.column << ": " << finding.message;
}

}  // namespace
}  // namespace ks

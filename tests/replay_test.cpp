// The replay tool as a process; the demo played through every branch of demo/walkthrough.txt.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "read_png.h"
#include "reader/key_help.h"
#include "script/checker.h"
#include "support.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::PageString;
using test::ReadFile;

// Runs the tool with `args`; gives its exit status and what it wrote on stderr.
std::pair<int, std::string> Replay(const test::TempStory& story, const std::string& args,
                                   const std::string& env = "") {
  const std::string errFile = story.Path("stderr.txt");
  const int raw = std::system((env + KS_REPLAY " -C " + story.root() + " " + args + " 2>" + errFile + " >/dev/null").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(errFile)};
}

TEST(ReplayTool, ArgumentsShotsStateAndErrors) {
  test::TempStory story;
  auto [status, err] = Replay(story, "");
  EXPECT_EQ(status, 1);  // no script: one line naming it
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("DATA/Script.txt"), std::string::npos) << err;
  for (const char* bad : {"--input 'E Q'", "--shot five=a.png", "--frobnicate", "--state"}) {
    EXPECT_EQ(Replay(story, bad).first, 2) << bad;
  }

  story.WriteScript("one@E@Rtwo@E@Cyes,1,no,2,@");
  const std::string state = story.Path("state.json");
  std::tie(status, err) = Replay(story, "--input '. E*2 .*2 E D' --shot 2=" + story.Path("2.png") + " --state " + state);
  ASSERT_EQ(status, 0) << err;
  Image image;
  std::string error;
  ASSERT_TRUE(test::ReadPng(story.Path("2.png"), &image, &error)) << error;
  EXPECT_EQ(image.width, 640);
  const std::string json = ReadFile(state);
  for (const char* expected : {"\"frames\": 7,", "\"exited\": false,", "\"pageText\": \"74776f\",", "\"uiMode\": 2,",
                               "\"cursor\": 1,", "\"choiceTexts\": [\"796573\", \"6e6f\", \"\", \"\", \"\"],",
                               "\"choiceTargets\": [1, 2, 0, 0, 0],", "\"bgm\": {\"playing\": 0, \"file\": \"\", \"starts\": 0},"}) {
    EXPECT_NE(json.find(expected), std::string::npos) << expected << " not in\n" << json;
  }
  // Escape ends the run; a shot past its end is an error.
  std::tie(status, err) = Replay(story, "--input '. X .' --state " + state + " --shot 5=" + story.Path("5.png"));
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("5.png"), std::string::npos) << err;
  EXPECT_NE(ReadFile(state).find("\"exited\": true"), std::string::npos);

  // A fontconfig setup that knows no fonts: one clear line.
  story.Write("fonts.conf", "<?xml version=\"1.0\"?><fontconfig><cachedir>" + story.Path("cache") +
                                "</cachedir></fontconfig>");
  std::tie(status, err) = Replay(story, "", "FONTCONFIG_FILE=" + story.Path("fonts.conf") + " ");
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("no Japanese font found"), std::string::npos) << err;
}

TEST(ReplayTool, KeyTokens) {
  std::vector<KeyToken> frames;
  std::string error;
  ASSERT_TRUE(ParseKeyTokens(" .  ED*3\nX ", &frames, &error)) << error;
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_TRUE(!frames[0].keys.AnyStoryKey() && frames[3].keys == (FrameKeys{.enter = true, .down = true}) && frames[4].escape);
  for (const char* bad : {"E*", "e", "E*99999999999"}) EXPECT_FALSE(ParseKeyTokens(bad, &frames, &error)) << bad;
  EXPECT_EQ(frames.size(), 5u);  // a failed parse changes nothing
}

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

// The manual page names every key and mouse action of the help's table.
TEST(ManualPage, NamesEveryKeyAndMouseAction) {
  std::string page = ReadFile(KS_SOURCE_DIR "/dist/man/kamishibai.6");
  for (size_t at; (at = page.find("\\-")) != std::string::npos;) page.replace(at, 2, "-");
  const std::string keys = page.substr(page.find(".SH KEYS"), page.find(".SH FILES") - page.find(".SH KEYS"));
  for (const KeyHelp& row : KeyHelpRows()) {
    std::stringstream names(row.keys);
    for (std::string name; std::getline(names >> std::ws, name, ',');) {
      EXPECT_NE(keys.find(name), std::string::npos) << "the manual page's keys do not name " << name;
    }
  }
  EXPECT_NE(keys.find("In a choice list, Space does nothing"), std::string::npos);
}

// A program reading --json gets JSON, even when there is no story.
TEST(CheckTool, JsonForAMissingStoryIsAnErrorObject) {
  test::TempStory story;
  const std::string out = story.Path("out.json");
  const int raw = std::system((KS_CHECK " --json " + story.root() + " >" + out + " 2>/dev/null").c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
  EXPECT_NE(ReadFile(out).find("\"error\": \"cannot read"), std::string::npos) << ReadFile(out);
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

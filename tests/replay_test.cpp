// The replay tool as its users run it: a separate process with arguments.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/headless/png.h"
#include "support.h"

namespace ks {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the tool with `args`; gives its exit status and what it wrote on stderr.
std::pair<int, std::string> Replay(const test::TempStory& story, const std::string& args,
                                   const std::string& env = "") {
  const std::string errFile = story.Path("stderr.txt");
  const int raw = std::system((env + KS_REPLAY " -C " + story.root() + " " + args + " 2>" + errFile + " >/dev/null").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(errFile)};
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
  ASSERT_TRUE(ReadPng(story.Path("2.png"), &image, &error)) << error;
  EXPECT_EQ(image.width, 640);
  const std::string json = ReadText(state);
  for (const char* expected : {"\"frames\": 7,", "\"exited\": false,", "\"pageText\": \"74776f\",", "\"uiMode\": 2,",
                               "\"cursor\": 1,", "\"choiceTexts\": [\"796573\", \"6e6f\", \"\", \"\", \"\"],",
                               "\"choiceTargets\": [1, 2, 0, 0, 0],", "\"bgm\": {\"playing\": 0, \"file\": \"\", \"starts\": 0},"}) {
    EXPECT_NE(json.find(expected), std::string::npos) << expected << " not in\n" << json;
  }
  // Escape ends the run; a shot past its end is an error.
  std::tie(status, err) = Replay(story, "--input '. X .' --state " + state + " --shot 5=" + story.Path("5.png"));
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("5.png"), std::string::npos) << err;
  EXPECT_NE(ReadText(state).find("\"exited\": true"), std::string::npos);

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
  EXPECT_TRUE(!frames[0].keys.Any() && frames[3].keys == (FrameKeys{.enter = true, .down = true}) && frames[4].escape);
  for (const char* bad : {"E*", "e", "E*99999999999"}) EXPECT_FALSE(ParseKeyTokens(bad, &frames, &error)) << bad;
  EXPECT_EQ(frames.size(), 5u);  // a failed parse changes nothing
}

}  // namespace
}  // namespace ks

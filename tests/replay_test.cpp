// The replay tool as its users run it: a separate process with arguments.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/headless/png.h"
#include "test_support.h"

namespace ks {
namespace {

using test::TempStory;

struct Outcome {
  int status = -1;
  std::string err;
};

Outcome Replay(const TempStory& story, const std::string& args) {
  const std::string errFile = story.Path("stderr.txt");
  const std::string command = std::string(KS_REPLAY) + " " + args + " 2>" + errFile + " >/dev/null";
  const int raw = std::system(command.c_str());
  std::ifstream in(errFile);
  std::stringstream err;
  err << in.rdbuf();
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, err.str()};
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Lines(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

TEST(ReplayTool, BadArgumentsExit2AndAMissingScriptExits1WithOneLine) {
  TempStory story;
  const std::string dir = "-C " + story.root();
  Outcome run = Replay(story, dir + " --input 'E Q'");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("bad input token \"Q\""), std::string::npos) << run.err;
  EXPECT_EQ(Replay(story, dir + " --shot five=a.png").status, 2);
  EXPECT_EQ(Replay(story, dir + " --frobnicate").status, 2);
  EXPECT_EQ(Replay(story, dir + " --state").status, 2);

  run = Replay(story, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Lines(run.err), 1) << run.err;
  EXPECT_NE(run.err.find("DATA/Script.txt"), std::string::npos) << run.err;
}

TEST(ReplayTool, WritesShotsAndTheStateAfterTheRun) {
  TempStory story;
  story.WriteScript("one@E@Rtwo@E@Cyes,1,no,2,@");
  const std::string shot0 = story.Path("0.png"), shot2 = story.Path("2.png"), state = story.Path("state.json");
  const Outcome run = Replay(story, "-C " + story.root() + " --input '. E*2 .*2 E D' --shot 0=" + shot0 +
                                    " --shot 2=" + shot2 + " --state " + state);
  ASSERT_EQ(run.status, 0) << run.err;
  Image image;
  std::string error;
  ASSERT_TRUE(ReadPng(shot0, &image, &error)) << error;
  EXPECT_EQ(image.width, 640);
  EXPECT_EQ(image.height, 480);
  ASSERT_TRUE(ReadPng(shot2, &image, &error)) << error;

  const std::string json = ReadText(state);
  for (const char* expected : {"\"frames\": 7,", "\"exited\": false,", "\"pageText\": \"74776f\",", "\"uiMode\": 2,",
                               "\"cursor\": 1,", "\"choiceTexts\": [\"796573\", \"6e6f\", \"\", \"\", \"\"],",
                               "\"choiceTargets\": [1, 2, 0, 0, 0],", "\"scriptSize\": 26,", "\"enterLatch\": 0,",
                               "\"bgm\": {\"playing\": 0, \"file\": \"\", \"starts\": 0},",
                               "\"page\": {\"open\": 0, \"starts\": 0}"}) {
    EXPECT_NE(json.find(expected), std::string::npos) << expected << " not in\n" << json;
  }
}

TEST(ReplayTool, EscapeEndsTheLoopAndAShotNeverReachedIsAnError) {
  TempStory story;
  story.WriteScript("page@E");
  const std::string state = story.Path("state.json");
  Outcome run = Replay(story, "-C " + story.root() + " --input '. X .' --state " + state);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(ReadText(state).find("\"exited\": true"), std::string::npos);
  EXPECT_NE(ReadText(state).find("\"frames\": 1,"), std::string::npos);

  run = Replay(story, "-C " + story.root() + " --input '. X' --shot 5=" + story.Path("5.png"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("5.png"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace ks

namespace ks {
namespace {

TEST(ReplayTool, NoJapaneseFontIsAClearError) {
  TempStory story;
  story.WriteScript("page@E");
  // A fontconfig setup that knows no fonts at all.
  story.Write("fonts.conf", "<?xml version=\"1.0\"?><fontconfig><cachedir>" + story.Path("cache") +
                                "</cachedir></fontconfig>");
  EXPECT_EQ(Replay(story, "-C " + story.root()).status, 0);  // with the system's fonts
  const std::string env = "FONTCONFIG_FILE=" + story.Path("fonts.conf") + " ";
  const std::string errFile = story.Path("err.txt");
  const int raw = std::system((env + KS_REPLAY + std::string(" -C ") + story.root() + " 2>" + errFile).c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
  const std::string err = ReadText(errFile);
  EXPECT_NE(err.find("no Japanese font found"), std::string::npos) << err;
  EXPECT_EQ(Lines(err), 1) << err;
}

}  // namespace
}  // namespace ks

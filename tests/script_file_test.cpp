#include "script/label_index.h"
#include "script/script_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include "present/background.h"
#include "save/save_file.h"
#include "sound/sound.h"
#include "test_support.h"

namespace ks {
namespace {

using test::LoadedEngine;
using test::TempStory;

std::string Buffer(const EngineState& s) { return std::string(s.script.scriptBuffer.begin(), s.script.scriptBuffer.end()); }

TEST(LoadScript, KeepsExactBytesTurningLineFeedsIntoCommas) {
  TempStory story;
  auto s = LoadedEngine(story, "a\r\nb\nc\x81\x40@E");
  EXPECT_EQ(s->script.scriptSize, 10u);
  EXPECT_EQ(Buffer(*s), std::string("a\r,b,c\x81\x40@E"));
  EXPECT_EQ(s->script.scriptPos, 0u);
}

TEST(LoadScript, EmptyFileGivesEmptyBuffer) {
  TempStory story;
  auto s = LoadedEngine(story, "");
  EXPECT_EQ(s->script.scriptSize, 0u);
}

TEST(LoadScript, MissingOrUnreadableFileIsReportedNotLoaded) {
  TempStory story;
  EngineState s;
  s.storyRoot = story.root();
  std::string error;
  EXPECT_FALSE(LoadScript(s, &error));
  EXPECT_NE(error.find("DATA/Script.txt"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  mkdir(story.Path("DATA/Script.txt").c_str(), 0755);  // a folder in its place
  error.clear();
  EXPECT_FALSE(LoadScript(s, &error));
  EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
  EXPECT_EQ(s.script.scriptSize, 0u);
}

// A FIFO would block a reader until someone writes to it, and a device like
// /dev/zero never ends: a story's files are read only when they are files.
TEST(LoadScript, FifosAndDevicesAreRefusedAtOnce) {
  TempStory story;
  ASSERT_EQ(mkfifo(story.Path("DATA/Script.txt").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo(story.Path("DATA/save.txt").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo(story.Path("song.wav").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", story.Path("zero.bmp").c_str()), 0);
  EngineState s;
  s.storyRoot = story.root();
  test::RecordingAudio audio;
  s.sound.audio = &audio;
  std::string error;
  EXPECT_FALSE(LoadScript(s, &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  EXPECT_FALSE(LoadGame(s, &error));
  EXPECT_FALSE(LoadBackground(s, s.display.backgroundSurface, "zero.bmp", &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  PlayBgm(s, "song.wav");
  EXPECT_TRUE(audio.calls.empty());
}

TEST(ReadField, CopiesUpToTheCommaAndStepsPastIt) {
  TempStory story;
  auto s = LoadedEngine(story, ",abc,0123456789abcdef,tail");
  char out[8];
  ReadField(*s, out, sizeof out);  // an empty field consumes its comma
  EXPECT_STREQ(out, "");
  EXPECT_EQ(s->script.scriptPos, 1u);
  ReadField(*s, out, sizeof out);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(s->script.scriptPos, 5u);
  ReadField(*s, out, sizeof out);  // too long: truncated, the rest read past
  EXPECT_STREQ(out, "0123456");
  EXPECT_EQ(s->script.scriptPos, 22u);
  ReadField(*s, out, sizeof out);  // no comma before the end: ends there
  EXPECT_STREQ(out, "tail");
  EXPECT_EQ(s->script.scriptPos, s->script.scriptSize);
  ReadField(*s, out, sizeof out);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(s->script.scriptPos, s->script.scriptSize);
}

TEST(AtolRule, FollowsTheCLibrary) {
  EXPECT_EQ(AtolRule("42"), 42);
  EXPECT_EQ(AtolRule("  \t7x"), 7);
  EXPECT_EQ(AtolRule("12\r"), 12);  // the CR of a CR LF line end stops it
  EXPECT_EQ(AtolRule("-3"), -3);
  EXPECT_EQ(AtolRule("+5"), 5);
  EXPECT_EQ(AtolRule(""), 0);
  EXPECT_EQ(AtolRule("abc"), 0);
  EXPECT_EQ(AtolRule("- 5"), 0);
  EXPECT_EQ(AtolRule("99999999999"), 2147483647);
  EXPECT_EQ(AtolRule("-99999999999"), -2147483647 - 1);
}

TEST(BuildLabelIndex, RecordsThePositionAfterTheComma) {
  TempStory story;
  auto s = LoadedEngine(story, "text@S5,more@S7,x@S12\r\nend");
  EXPECT_EQ(s->script.labelTable[5], 8u);
  EXPECT_EQ(s->script.labelTable[7], 16u);
  EXPECT_EQ(s->script.labelTable[12], 23u);  // the CR stays in the field and atol stops at it
  EXPECT_EQ(s->script.labelTable[0], 0u);
  EXPECT_EQ(s->script.scriptPos, 0u);
}

// The scan steps one byte past every definition's comma, so a definition that
// starts right there is skipped; stories rely on these positions.
TEST(BuildLabelIndex, SkipsADefinitionRightAfterAnotherAndAfterDoubleAt) {
  TempStory story;
  auto lf = LoadedEngine(story, "@S1\n@S2\nx");  // consecutive lines
  EXPECT_EQ(lf->script.labelTable[1], 4u);
  EXPECT_EQ(lf->script.labelTable[2], 0u);

  auto sameLine = LoadedEngine(story, "@S1,@S2,x");
  EXPECT_EQ(sameLine->script.labelTable[2], 0u);

  // With CR LF the CR goes into the number field and the next line's "@" is
  // again the byte after the comma.
  auto crlf = LoadedEngine(story, "@S1\r\n@S2\r\nx");
  EXPECT_EQ(crlf->script.labelTable[1], 5u);
  EXPECT_EQ(crlf->script.labelTable[2], 0u);

  auto doubleAt = LoadedEngine(story, "ab@@S3,x");
  EXPECT_EQ(doubleAt->script.labelTable[3], 0u);

  // With a text byte in between both are found.
  auto spaced = LoadedEngine(story, "@S1\nz@S2\nx");
  EXPECT_EQ(spaced->script.labelTable[1], 4u);
  EXPECT_EQ(spaced->script.labelTable[2], 9u);
}

TEST(BuildLabelIndex, KeepsEarlierValueOfASkippedNumberAndLetsLaterWin) {
  TempStory story;
  auto s = LoadedEngine(story, "@S4,a@S4,@S4,b");
  EXPECT_EQ(s->script.labelTable[4], 9u);  // the second; the third is skipped

  auto noDigits = LoadedEngine(story, "xx@Sabc,y");
  EXPECT_EQ(noDigits->script.labelTable[0], 8u);
}

TEST(BuildLabelIndex, NumbersOutsideTheTableAndOverlongFieldsDefineNothing) {
  TempStory story;
  auto s = LoadedEngine(story, "@S100,a@S-1,b@S99,c@S0000000000042,d@S00000000042,e");
  EXPECT_EQ(s->script.labelTable[99], 18u);
  // 13 digits are cut to 11 ("00000000000"): label 0. 11 digits read whole.
  EXPECT_EQ(s->script.labelTable[0], 35u);
  EXPECT_EQ(s->script.labelTable[42], 50u);
  for (int n : {1, 10}) EXPECT_EQ(s->script.labelTable[n], 0u);
}

TEST(BuildLabelIndex, StopsAtTheEndOfTheBuffer) {
  TempStory story;
  auto atEnd = LoadedEngine(story, "abc@");
  EXPECT_EQ(atEnd->script.labelTable[0], 0u);
  auto noComma = LoadedEngine(story, "abc@S9");
  EXPECT_EQ(noComma->script.labelTable[9], 6u);  // the script's end
  auto bareS = LoadedEngine(story, "@S");
  EXPECT_EQ(bareS->script.labelTable[0], 2u);
}

}  // namespace
}  // namespace ks

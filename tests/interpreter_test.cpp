#include "script/interpreter.h"

#include <string>

#include "save/save_file.h"
#include "test_support.h"

namespace ks {
namespace {

using test::LoadedEngine;
using test::PageString;
using test::RecordingAudio;
using test::TempStory;

class Interpreter : public ::testing::Test {
 protected:
  // Loads `script` and runs it once.
  EngineState& Run(const std::string& script) {
    state_ = LoadedEngine(story_, script);
    state_->sound.audio = &audio_;
    RunScript(*state_);
    return *state_;
  }
  TempStory story_;
  RecordingAudio audio_;
  std::unique_ptr<EngineState> state_;
};

TEST_F(Interpreter, BuildsAPageAndStopsAtItsEnd) {
  auto& s = Run("first@Nsecond@Enext");
  EXPECT_EQ(PageString(s), "first\nsecond");
  EXPECT_EQ(s.page.pageLength, 12u);
  EXPECT_EQ(s.script.scriptPos, 15u);  // just after "@E"
  RunScript(s);  // text after "@E" continues the same page
  EXPECT_EQ(PageString(s), "first\nsecondnext");
  EXPECT_EQ(s.script.scriptPos, s.script.scriptSize);
  RunScript(s);  // after the end: only the terminator again
  EXPECT_EQ(PageString(s), "first\nsecondnext");
}

TEST_F(Interpreter, CarriageReturnsStayAndCommasVanish) {
  auto& s = Run("one\r\ntwo,three@E");
  EXPECT_EQ(PageString(s), "one\rtwothree");
}

TEST_F(Interpreter, ClearingThePageKeepsOldBytesPastTheTerminator) {
  auto& s = Run("a long first page@E@Rshort@E");
  RunScript(s);
  EXPECT_EQ(PageString(s), "short");
  EXPECT_EQ(s.page.pageLength, 5u);
  EXPECT_EQ(std::string(s.page.pageText + 6, 11), " first page");
}

TEST_F(Interpreter, AnAtWithoutACommandIsText) {
  EXPECT_EQ(PageString(Run("x@By@E")), "x@By");
  EXPECT_EQ(PageString(Run("x@@Ey")), "x@");
  EXPECT_EQ(PageString(Run("x@,y@E")), "x@y");
  EXPECT_EQ(PageString(Run("x@ey@E")), "x@ey");
  for (char letter : std::string("BILOQVX")) {
    EXPECT_EQ(PageString(Run(std::string("@") + letter + "@E")), std::string("@") + letter);
  }
  auto& last = Run("end@");  // an "@" as the very last byte
  EXPECT_EQ(PageString(last), "end@");
  EXPECT_EQ(last.script.scriptPos, last.script.scriptSize);
}

TEST_F(Interpreter, AFullWidthSpaceSuppliesAnAt) {
  // 81 40 is a full-width space: its second byte is "@".
  EXPECT_EQ(PageString(Run("\x81\x40" "Etail")), "\x81");
  EXPECT_EQ(PageString(Run("\x81\x40\x82\xa0@E")), "\x81\x40\x82\xa0");
}

TEST_F(Interpreter, JumpsToALabelOrToTheStart) {
  auto& s = Run("@J7,skipped@S7,here@E");
  EXPECT_EQ(PageString(s), "here");
  auto& undefined = Run("top@E@J3,");
  RunScript(undefined);  // label 3 was never defined: back to position 0
  EXPECT_EQ(undefined.script.scriptPos, 5u);
  EXPECT_EQ(PageString(undefined), "toptop");
  auto& outside = Run("@S1,x@E@J101,");
  RunScript(outside);
  EXPECT_EQ(outside.script.scriptPos, 7u);  // went to 0, stepped over "@S1," and stopped after "x@E"
  EXPECT_EQ(PageString(outside), "xx");
}

TEST_F(Interpreter, RunTimeLabelIsSteppedOver) {
  EXPECT_EQ(PageString(Run("a@S12,b@E")), "ab");
  EXPECT_EQ(PageString(Run("a@S,b@E")), "ab");
  auto& s = Run("ab@S12");  // no comma before the end
  EXPECT_EQ(PageString(s), "ab");
  EXPECT_EQ(s.script.scriptPos, s.script.scriptSize);
}

TEST_F(Interpreter, FlagsAndPositions) {
  auto& s = Run("@T@Z@Hpage@E");
  EXPECT_EQ(s.screen.titleNotice, 1u);
  EXPECT_EQ(s.screen.quitRequested, 1u);  // set, and the page is still finished
  EXPECT_EQ(PageString(s), "page");
  EXPECT_EQ(s.choices.choiceX, 100);
  EXPECT_EQ(s.choices.choiceY, 220);
  Run("@H@U@E");
  EXPECT_EQ(state_->choices.choiceX, 265);
  EXPECT_EQ(state_->choices.choiceY, 320);
}

TEST_F(Interpreter, FadeStopsWithATerminatedPage) {
  auto& s = Run("dark@Fafter@E");
  EXPECT_EQ(s.screen.fadeActive, 1u);
  EXPECT_EQ(PageString(s), "dark");
  EXPECT_EQ(s.script.scriptPos, 6u);
}

TEST_F(Interpreter, ChoiceListOnOneLineAndOnePerLine) {
  auto& s = Run("Which?@Cleft,1,right,2,@after");
  EXPECT_EQ(s.screen.uiMode, 2);
  EXPECT_EQ(s.screen.cursor, 0);
  EXPECT_STREQ(s.choices.choiceTexts[0], "left");
  EXPECT_STREQ(s.choices.choiceTexts[1], "right");
  EXPECT_EQ(s.choices.choiceTargets[0], 1);
  EXPECT_EQ(s.choices.choiceTargets[1], 2);
  EXPECT_EQ(s.script.scriptPos, 24u);  // just after the closing "@"
  EXPECT_EQ(std::string(s.page.pageText, 6), "Which?");  // no terminator written

  auto& lines = Run("@Cyes,10\r\nno,20\r\nmaybe,30\r\n@\r\n");
  EXPECT_EQ(lines.screen.uiMode, 3);
  EXPECT_STREQ(lines.choices.choiceTexts[2], "maybe");
  EXPECT_EQ(lines.choices.choiceTargets[1], 20);  // the CR stops the number
}

TEST_F(Interpreter, ChoiceListLimits) {
  const std::string longText(120, 'x');
  auto& s = Run("@Ca,1,b,2,c,3,d,4,e,5,f,6,g,7,@" + longText + "@E");
  EXPECT_EQ(s.screen.uiMode, 5);  // the sixth and seventh are read past
  EXPECT_STREQ(s.choices.choiceTexts[4], "e");
  EXPECT_EQ(s.choices.choiceTargets[4], 5);
  RunScript(s);  // the script resumes after the closing "@"
  EXPECT_EQ(PageString(s).size(), 120u);

  auto& tooLong = Run("@C" + longText + ",000000000009999,@");
  EXPECT_EQ(std::string(tooLong.choices.choiceTexts[0]), longText.substr(0, 99));
  EXPECT_EQ(tooLong.choices.choiceTargets[0], 0);  // 15 digits cut to 11 zeros

  auto& unclosed = Run("@Cyes,1,no");  // meets the end of the buffer
  EXPECT_EQ(unclosed.screen.uiMode, 2);
  EXPECT_EQ(unclosed.script.scriptPos, unclosed.script.scriptSize);
  auto& empty = Run("text@C");
  EXPECT_EQ(empty.screen.uiMode, 0);
  EXPECT_EQ(empty.script.scriptPos, empty.script.scriptSize);
}

TEST_F(Interpreter, PageLongerThanTheBufferIsCut) {
  auto& s = Run(std::string(1500, 'a') + "@E");
  EXPECT_EQ(s.page.pageLength, 999u);
  EXPECT_EQ(PageString(s).size(), 999u);
  EXPECT_EQ(s.page.pageText[999], '\0');
  RunScript(s);
  EXPECT_EQ(s.page.pageLength, 999u);
}

TEST_F(Interpreter, AJumpLoopWithoutAStopEndsAfterOneLap) {
  auto& s = Run("@S1,@J1,");
  EXPECT_EQ(s.script.scriptPos, s.script.scriptSize);
  EXPECT_EQ(PageString(s), "");
  auto& text = Run("start@S1,x@J1,");  // the page keeps what the lap wrote
  EXPECT_EQ(PageString(text), "startxx");
  EXPECT_EQ(text.script.scriptPos, text.script.scriptSize);
  RunScript(text);  // the reader can go on: the next run ends at once
  EXPECT_EQ(text.script.scriptPos, text.script.scriptSize);

  // Each lap opens the music again: one lap more, not thousands, however
  // long the script.
  story_.Write("a.ogg", "x");
  Run("@S1,@Ma.ogg,@J1," + std::string(100000, ' '));
  EXPECT_EQ(audio_.calls, (std::vector<std::string>{"open music a.ogg = 1", "play 1 notify", "stop 1", "close 1",
                                                    "open music a.ogg = 2", "play 2 notify"}));

  // A jump taken once in a run is no loop: a story may pass a label twice.
  auto& twice = Run("a@J2,@S1,b@E@S2,c@J1,");
  EXPECT_EQ(PageString(twice), "acb");
}

TEST_F(Interpreter, PictureNameIsKeptEvenWhenItDoesNotLoad) {
  auto& s = Run("@Gmissing.bmp,text@E");
  EXPECT_STREQ(s.assets.backgroundFile, "missing.bmp");
  EXPECT_EQ(PageString(s), "text");
  auto& longName = Run("@Gabcdefghijklmnopqrstuvwxyz.bmp,@E");
  EXPECT_STREQ(longName.assets.backgroundFile, "abcdefghijklmnopqrs");  // 19 bytes fit the save file
}

TEST_F(Interpreter, SoundCommands) {
  story_.Write("song.ogg", "x");
  story_.Write("rain.wav", "x");
  story_.Write("bell.wav", "x");
  story_.Write("Page.wav", "x");
  auto& s = Run("@Msong.ogg,@Arain.wav,@Wbell.wav,@P@D@Y@E");
  EXPECT_STREQ(s.assets.bgmFile, "song.ogg");
  EXPECT_EQ(audio_.calls, (std::vector<std::string>{
                              "open music song.ogg = 1", "play 1 notify",  //
                              "open loop rain.wav = 2", "play 2 notify",   //
                              "open oneshot bell.wav = 3", "play 3",       //
                              "open page Page.wav = 4", "play 4",          //
                              "stop 1", "close 1",                         //
                              "stop 2", "close 2"}));
  EXPECT_EQ(s.sound.bgmChannel.playing, 0u);
  EXPECT_EQ(s.sound.oneShotSeChannel.playing, 1u);

  const std::string longName(40, 'm');
  auto& truncated = Run("@M" + longName + ",@E");
  EXPECT_EQ(std::string(truncated.assets.bgmFile), longName.substr(0, 31));
}

TEST_F(Interpreter, LoadStopsAtTheSavedPlaceOrJustPastTheCommandOnFailure) {
  auto& s = Run("@Kpage one@Epage two@E");
  EXPECT_EQ(s.script.scriptPos, 2u);  // no save file: past "@K", nothing else changed
  EXPECT_EQ(PageString(s), "");

  RunScript(s);
  RunScript(s);
  EXPECT_EQ(PageString(s), "page onepage two");
  std::string error;
  ASSERT_TRUE(SaveGame(s, &error)) << error;

  auto& loaded = Run("@Kpage one@Epage two@E");
  EXPECT_EQ(loaded.script.scriptPos, loaded.script.scriptSize);
  EXPECT_EQ(PageString(loaded), "page onepage two");
  EXPECT_EQ(loaded.page.pageLength, 16u);
}

}  // namespace
}  // namespace ks

namespace ks {
namespace {

TEST(EngineState, FreshRecordIsZeroButTheChoicePosition) {
  const EngineState s;
  EXPECT_EQ(s.screen.uiMode, 0);
  EXPECT_EQ(s.screen.cursor, 0);
  EXPECT_EQ(s.choices.choiceX, 265);
  EXPECT_EQ(s.choices.choiceY, 320);
  EXPECT_EQ(s.screen.fadeActive + s.screen.quitRequested + s.screen.titleNotice + s.screen.savedNotice + s.screen.loadedNotice + s.input.enterLatch, 0u);
  for (uint32_t entry : s.script.labelTable) EXPECT_EQ(entry, 0u);
  EXPECT_EQ(s.display.primarySurface.pixels.size(), 640u * 480u);
  EXPECT_EQ(s.display.backgroundSurface.pixels.size(), 640u * 480u);
}

}  // namespace
}  // namespace ks

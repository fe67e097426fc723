#include "script/checker.h"

#include "support.h"

namespace ks {
namespace {

using test::LoadedEngine;
using test::TempStory;

constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;

struct Expected {
  Severity severity;
  uint32_t line, column;
  std::string part;  // of the message
};

class Check : public ::testing::Test {
 protected:
  void Expect(const std::string& script, const std::vector<Expected>& want) {
    auto state = LoadedEngine(story_, script);
    const std::vector<Finding> got = CheckScript(*state, std::vector<uint8_t>(script.begin(), script.end()));
    std::string all;
    for (const Finding& f : got) all += std::to_string(f.line) + ":" + std::to_string(f.column) + " " + f.message + "\n";
    ASSERT_EQ(got.size(), want.size()) << all;
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(got[i].severity, want[i].severity) << got[i].message;
      EXPECT_EQ(got[i].line, want[i].line) << got[i].message;
      EXPECT_EQ(got[i].column, want[i].column) << got[i].message;
      EXPECT_NE(got[i].message.find(want[i].part), std::string::npos) << got[i].message;
    }
  }
  TempStory story_;
};

TEST_F(Check, EveryCommandUsedRightGivesNoFindings) {
  for (const char* file : {"bg.bmp", "song.ogg", "rain.wav", "bell.wav"}) story_.Write(file, "x");
  Expect("@Gbg.bmp,@Msong.ogg,@Arain.wav,@Wbell.wav,@P@T@H@U\n"
         "Hello@Nworld@E@F\x81\x40x\x81\x40\x82\xa0\n"
         "x@S1,y@S2,@R@D@Y\n"
         "Which?@Cleft,1,right,2,@@J1,\n"
         "@Cone,1\ntwo,2\n@@K@Z",
         {});
}

TEST_F(Check, LabelNumbersOutsideTheTableAndUndefinedLabels) {
  Expect("@S100,@J-1,@Ca,150,@\n@J7,@Cb,8,@",
         {{E, 1, 1, "label number 100 is outside 0 to 99; this defines no label"},
          {E, 1, 7, "label number -1"},
          {E, 1, 16, "label number 150 is outside 0 to 99; choosing it goes to the start"},
          {W, 2, 1, "label 7 is never defined; the jump goes to the start"},
          {W, 2, 9, "label 8 is never defined; choosing it"}});
}

TEST_F(Check, DefinitionsTheLabelIndexSkipsOrOverwrites) {
  // The third of three consecutive lines is indexed again.
  Expect("@S1\n@S2\n@S3\n@J2,x@@S4,@J4",
         {{E, 2, 1, "skips this definition of label 2 (it is on the line right after another definition); "
                    "jumps to it go to the start of the script"},
          {W, 4, 1, "label 2 has no definition the label index keeps"},
          {W, 4, 6, "\"@@\" is not a command"},
          {E, 4, 7, "(it follows another \"@\")"},
          {W, 4, 11, "label 4 has no definition"}});
  Expect("@S5\nx@S5,@S5,y",
         {{W, 2, 2, "label 5 is also defined on line 1; jumps go to this later definition"},
          {E, 2, 6, "skips this definition of label 5 (it starts right after another definition's comma); "
                    "jumps to it go to line 2"}});
}

TEST_F(Check, LabelDefinedByAnAtSInsideAField) {
  // "あ　Sakura": the full-width space (81 40) and "S" make "@S" for the label
  // scan, inside the choice text; label 0 then stands in the choice list.
  Expect("@S0,\r\nstart@E\r\n@C\x82\xa0\x81\x40Sakura,0\r\n@\r\n",
         {{E, 3, 6, "inside a field defines label 0; jumps to it go to line 3"}});
}

TEST_F(Check, PageLongerThan999BytesOncePerPage) {
  // "@N" counts; "@E" ends the page without clearing it, "@R" clears it.
  Expect(std::string(998, 'a') + "@Nb@Ec@R" + std::string(1000, 'd'),
         {{E, 1, 1001, "the page passes 999 bytes here"}, {E, 1, 2006, "the page passes 999 bytes here"}});
}

TEST_F(Check, ChoiceListLimits) {
  Expect("@S0,@Ca,0,b,0,c,0,d,0,e,0,f,0,@\n@C" + std::string(100, 'x') + ",0,@\n@Cyes,0,no,0",
         {{E, 1, 27, "at most 5 choices"},
          {E, 2, 3, "this choice text is 100 bytes long; only its first 99"},
          {E, 3, 1, "no closing \"@\""}});
}

TEST_F(Check, FileNames) {
  story_.Write("Pics/Sky.bmp", "x");
  story_.Write("\xe9\x9f\xb3.wav", "x");  // the Shift-JIS name 89 B9 ".wav", unpacked as UTF-8
  story_.Write("abcdefghijklmnop.bmp", "x");
  Expect("@Gpics/sky.bmp,@W\x89\xb9.wav,@Mmissing.ogg,@Aloop.wav\r\n@Gabcdefghijklmnop.bmp,@M" +
             std::string(32, 'm') + ",@W,",
         {{W, 1, 1, "\"pics/sky.bmp\" is found only as \"Pics/Sky.bmp\""},
          {W, 1, 16, "\"\xe9\x9f\xb3.wav\" is found only as \"\xe9\x9f\xb3.wav\""},
          {E, 1, 25, "\"missing.ogg\" cannot be found"},
          {E, 1, 39, "\"loop.wav\" ends in a carriage return"},
          {E, 2, 1, "is 20 bytes long; a picture's name is saved with only its first 19"},
          {E, 2, 24, "is 32 bytes long; the player reads only its first 31"},
          {E, 2, 59, "\"@W\" has no file name"}});
}

TEST_F(Check, AtThatStartsNoCommand) {
  // A full-width space (81 40) ends in "@": harmless before text, a command
  // before a command letter.
  Expect("x@By@\n\x81\x40x\x81\x40" "E@",
         {{W, 1, 2, "\"@B\" is not a command; the \"@\" shows as text"},
          {W, 1, 5, "\"@\" at the end of a line"},
          {W, 2, 4, "the player runs \"@E\""},
          {W, 2, 7, "\"@\" at the end of the script"}});
}

TEST_F(Check, LinesAndColumnsCountTheSameWithCrLfAndLf) {
  for (const char* end : {"\n", "\r\n"}) {
    Expect(std::string("text") + end + "ab@J5" + end + "@Bx" + end,
           {{W, 2, 3, "label 5 is never defined"}, {W, 3, 1, "\"@B\""}});
  }
}

TEST(CheckStory, ReadsTheScriptWhereThePlayerFindsIt) {
  TempStory story(/*withData=*/false);
  StoryCheck check;
  std::string error;
  EXPECT_FALSE(CheckStory(story.root(), &check, &error));
  EXPECT_NE(error.find("Script.txt"), std::string::npos) << error;

  story.Write("data/script.txt", "@J3,");
  ASSERT_TRUE(CheckStory(story.root(), &check, &error)) << error;
  EXPECT_EQ(check.scriptName, "data/script.txt");
  ASSERT_EQ(check.findings.size(), 1u);
  EXPECT_EQ(check.findings[0].severity, W);
}

}  // namespace
}  // namespace ks

#include "script/checker.h"

#include "script/script_file.h"
#include "sound/sound_check.h"
#include "support.h"

namespace ks {
namespace {

using test::Repeat;
using test::TempStory;

constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;

struct Expected { Severity severity; uint32_t line, column; std::string part; /* of the message */ };
struct Case { const char* what; std::string script; std::vector<Expected> want; };

const std::string kA = "\x82\xa0";  // "あ", full width

std::vector<Finding> Findings(const TempStory& story, const std::string& script) {
  auto state = test::LoadedEngine(story, script);
  return CheckScript(*state, std::vector<uint8_t>(script.begin(), script.end()));
}

void Expect(const TempStory& story, const Case& c) {
  SCOPED_TRACE(c.what);
  const std::vector<Finding> got = Findings(story, c.script);
  std::string all;
  for (const Finding& f : got) all += std::to_string(f.line) + ":" + std::to_string(f.column) + " " + f.message + "\n";
  ASSERT_EQ(got.size(), c.want.size()) << all;
  for (size_t i = 0; i < c.want.size(); ++i) {
    const Finding& f = got[i];
    EXPECT_TRUE(f.severity == c.want[i].severity && f.line == c.want[i].line && f.column == c.want[i].column &&
                f.message.find(c.want[i].part) != std::string::npos)
        << "want " << c.want[i].line << ":" << c.want[i].column << " " << c.want[i].part << "\n" << all;
  }
}

// Each finding on its smallest script; all files load but a PNG named .bmp and a 0-channel WAV.
TEST(Check, EachFindingAtItsCause) {
  TempStory story;
  const std::vector<uint8_t> bmp = test::EncodeBmp(test::SolidImage(2, 2, 0x336699), 24);
  for (const char* name : {"bg.bmp", "Pics/Sky.bmp", "abcdefghijklmnop.bmp"}) story.Write(name, bmp);
  for (const char* name : {"song.wav", "rain.wav", "bell.wav", "Page.wav", "\xe9\x9f\xb3.wav"}) {
    story.Write(name, test::WavBytes(10));
  }
  story.Write("png.bmp", std::string("\x89PNG\r\n\x1a\n") + std::string(40, '\0'));
  std::string mute = test::WavBytes(10);
  mute[22] = 0;  // the format's channel count
  story.Write("mute.wav", mute);

  const std::vector<Case> cases = {
      {"every command used right",
       "@Gbg.bmp,@Msong.wav,@Arain.wav,@Wbell.wav,@P@H@UHello@Nworld@E@F\x81\x40x\x81\x40" + kA + "@E@Cleft,1\r\n"
       "right,2\r\n@\r\n@S1\r\none@E@J2,\r\n@S2\r\ntwo@R@D@Y@K@Z",
       {}},
      {"label numbers outside the table, labels never defined", "@Z@S100,@J-1,@Ca,150,@\r\n@J7,@Cb,8,@",
       {{E, 1, 3, "label number 100 is outside 0 to 99, so this defines no label"}, {E, 1, 9, "label number -1"},
        {E, 1, 18, "150 is outside 0 to 99, so choosing it goes to the start"},
        {W, 2, 1, "label 7 is never defined, so the jump goes to the start"},
        {W, 2, 9, "label 8 is never defined, so choosing it"}}},
      // The third of three consecutive lines is indexed again; the uses of a
      // skipped label are the definition's finding.
      {"definitions the label index skips", "@Z@S1\r\n@S2\r\n@S3\r\n@J2,x@@S4,@J4",
       {{E, 2, 1, "skips this definition of label 2, so jumps to it go to the start of the script: it is on the line "
                  "right after another definition"},
        {E, 4, 7, "it follows another \"@\""}}},
      {"definitions overwritten", "@S5\r\nx@S5,@S5,y",
       {{W, 2, 2, "label 5 is also defined on line 1; jumps go to this later definition"},
        {E, 2, 6, "skips this definition of label 5, so jumps to it go to line 2: it starts right after another"}}},
      // "あ　Sakura" in a choice: the full-width space (81 40) and "S" are
      // "@S" to the label scan, which moves label 0 into the choice list.
      {"a label defined inside a field", "@S0,start@E\r\n@C" + kA + "\x81\x40Sakura,0\r\n@\r\n",
       {{E, 2, 4, "full-width space before \"S\" inside this field makes \"@S\", which defines label 0 for the label "
                  "index, so jumps to it go to line 2"}}},
      {"a page over 999 bytes, once a page; lines wider than the box",
       std::string(998, 'a') + "@Nb@Ec@R" + std::string(1000, 'd'),
       {{W, 1, 71, "wider than the text box"}, {E, 1, 1001, "the page passes 999 bytes here"},
        {W, 1, 1077, "wider than the text box"}, {E, 1, 2006, "the page passes 999 bytes here"}}},
      // 35 full-width characters fit; "&&" draws one "&" and "&a" an underlined "a"; 70 half-width katakana fit.
      {"page lines as drawn",
       Repeat(kA, 35) + "\r\n" + Repeat(kA, 36) + "\r\n" + Repeat(kA, 34) + "&&&ab\r\n" + std::string(70, '\xb1') +
           "@N" + std::string(70, 'a') + "@E",
       {{W, 2, 36, "wider than the text box"}, {W, 3, 39, "wider than the text box"}}},
      {"lines joined by a bare LF: the LF's finding only", std::string(40, 'a') + "\n" + std::string(40, 'a'),
       {{W, 1, 41, "bare line feed (LF)"}}},
      {"choice list limits", "@Z@S0,@Ca,0,b,0,c,0,d,0,e,0,f,0,@\r\n@C" + std::string(100, 'x') + ",0,@\r\n@Cyes,0,no,0",
       {{E, 1, 29, "at most 5 choices"}, {E, 2, 3, "this choice text is 100 bytes long; only its first 99"},
        {E, 3, 1, "no closing \"@\""}}},
      // Columns count the double-byte character "音" (89 B9) as one.
      {"file names and files",
       "@Gpics/sky.bmp,@W\x89\xb9.wav,@Mmissing.ogg,@Aloop.wav\r\n@Gabcdefghijklmnop.bmp,@M" + std::string(32, 'm') +
           ",@W,@Gpng.bmp,@Mmute.wav,@Mmute.wav,@Amissing.ogg,",
       {{W, 1, 1, "\"pics/sky.bmp\" is found only as \"Pics/Sky.bmp\""},
        {W, 1, 16, "\"\xe9\x9f\xb3.wav\" is found only as \"\xe9\x9f\xb3.wav\""},
        {E, 1, 24, "\"missing.ogg\" is not in the story folder"}, {E, 1, 38, "\"loop.wav\" ends in a carriage return"},
        {E, 2, 1, "is 20 bytes long, but a picture's name is saved with only its first 19"},
        {E, 2, 24, "is 32 bytes long, but the player reads only its first 31"}, {E, 2, 59, "\"@W\" has no file name"},
        {E, 2, 62, "the picture \"png.bmp\" cannot be shown: not a Windows bitmap"},
        {E, 2, 72, "the sound \"mute.wav\" will not play: a WAV with 0 channels"}}},
      {"a long name is cut in the message", "@G" + std::string(10000, 'n') + ",",
       {{E, 1, 1, "\"" + std::string(60, 'n') + "…\" is 10000 bytes long"}}},
      {"an \"@\" that starts no command", "x@By@\r\n\x81\x40x@",
       {{W, 1, 2, "\"@B\" is not a command"}, {W, 1, 5, "\"@\" at the end of a line"},
        {W, 2, 3, "at the end of the script"}}},
      // "CLOSED" after a full-width space is "@C": a choice list would take
      // in the lines after it, with labels never defined and no closing "@".
      {"a double-byte character that makes a command, one finding", "Door\x81\x40" "CLOSED\r\nyes\r\nno\r\nmaybe\r\n@E",
       {{E, 1, 5, "the full-width space before \"C\" makes the command \"@C\""}}},
      {"each command that changes the course, and one that does not",
       "a\x81\x40Jb\x81\x40Sc\x81\x40Kd\x81\x40Ze\x81\x40" "Ff\x83\x40" "Eg\x81\x40Good",
       {{E, 1, 2, "before \"J\" makes the command \"@J\""}, {E, 1, 5, "before \"S\""}, {E, 1, 8, "before \"K\""},
        {E, 1, 11, "before \"Z\""}, {E, 1, 14, "before \"F\""}, {E, 1, 17, "the character \"ァ\" before \"E\""},
        {W, 1, 20, "before \"G\" makes the command \"@G\""}}},
      // Read as Shift-JIS, "あ@E" would end in the character 82 40.
      {"a script saved as UTF-8", "@R\xe3\x81\x82@E\xe3\x81\x84@B",
       {{E, 1, 3, "iconv -f UTF-8 -t CP932"}, {W, 1, 7, "\"@B\" is not a command"}}},
      {"a CR alone: a field runs on, one finding", "@Gbg.bmp\rtext@E\r@Gx,", {{E, 1, 9, "carriage return alone"}}},
      {"a CR alone: the label field takes in the rest", "@S1\rtext@E\r@J1", {{E, 1, 4, "carriage return alone"}}},
      {"a CR alone in text", "a\rb", {{W, 1, 2, "carriage return alone"}}},
      {"lines with LF, as with CR LF", "text\nab@Gnone.bmp,\n@Bx\n",
       {{W, 1, 5, "bare line feed"}, {E, 2, 3, "not in the story folder"}, {W, 3, 1, "\"@B\""}}},
      // Blank lines written on purpose, or a page cleared before it shows, are left alone.
      {"a line of commands whose CR shows",
       "@Gbg.bmp,\r\ntext@E\r\n@E\r\nmore@E\r\n@Wbell.wav,\r\n@Rx@E\r\n@Gbg.bmp,\r\n\r\ntitle@E",
       {{W, 1, 10, "holds only commands"}, {W, 3, 3, "holds only commands"}}},
      {"a story that never ends", "@S1,text@E@J1", {{W, 1, 11, "the story never ends"}}},
      {"back to the title is no end", "a@T@E", {{W, 1, 4, "the story never ends"}}},
  };
  for (const Case& c : cases) Expect(story, c);
}

// New authors' mistakes: branches running on, choices without numbers, names mistyped.
TEST(Check, NewAuthorsMistakesNamedWithWhatToDo) {
  TempStory story;
  const std::vector<uint8_t> bmp = test::EncodeBmp(test::SolidImage(2, 2, 0x336699), 24);
  for (const char* name : {"night.bmp", "owl.bmp", "Pics/Sky.bmp"}) story.Write(name, bmp);
  const std::string yesNo = "@C\x82\xcd\x82\xa2,1\r\n\x82\xa2\x82\xa2\x82\xa6,2\r\n@\r\n";  // はい 1, いいえ 2
  const std::vector<Case> cases = {
      {"the first branch runs on into the second, at its last page", yesNo + "@S1\r\nyes@E\r\n@S2\r\nno@E\r\n@Z",
       {{W, 5, 4, "the branch of label 1 runs on into label 2, the branch of another choice of the same list"}}},
      {"a branch with no page end: at the label it runs into", "@Ca,1,b,2,@\r\n@S1\r\nx\r\n@S2\r\ny@E@Z",
       {{W, 4, 1, "the branch of label 1 runs on into label 2"}}},
      {"branches that jump on, or run into a label no choice names",
       yesNo + "@S1\r\nyes@E@J3,\r\n@S2\r\nno@E\r\n@S3\r\nend@E@Z", {}},
      {"choices one a line without numbers: the next choice is taken for the number",
       "@C\x82\xcd\x82\xa2\r\n\x82\xa2\x82\xa2\x82\xa6\r\n@\r\n@Z",
       {{W, 1, 1, "the story never ends"},  // label 0 is the start: said as that, not as a label never defined
        {E, 1, 3, "the choice \xe3\x80\x8c\xe3\x81\xaf\xe3\x81\x84\xe3\x80\x8d has no label number (the player takes "
                  "\xe3\x80\x8c\xe3\x81\x84\xe3\x81\x84\xe3\x81\x88\xe3\x80\x8d for it, which counts as label 0)"}}},
      {"an empty number", "@Cyes,,@@Z", {{W, 1, 1, "never ends"}, {E, 1, 3, "the choice \xe3\x80\x8cyes\xe3\x80\x8d has no label number, so"}}},
      {"missing files: the nearest name, ignoring case; none when nothing is near",
       "@GNIGTH.BMP,@GPics/Ski.bmp,@Gforest.bmp,@Golw.bmp,@Z",
       {{E, 1, 1, "\"NIGTH.BMP\" is not in the story folder; did you mean \"night.bmp\"?"},
        {E, 1, 13, "did you mean \"Pics/Sky.bmp\"?"},
        {E, 1, 28, "\"forest.bmp\" is not in the story folder; put it there, or correct the name"},
        {E, 1, 41, "did you mean \"owl.bmp\"?"}}},  // two letters swapped: one edit
      {"sounds that pass their check and still stay silent: a VOC as music (an effect plays it), music named for "
       "another format than it holds",
       "@Mvoice.voc,@Wvoice.voc,@Mogg.wav,@Z",
       {{W, 1, 1, "the sound \"voice.voc\" may not be heard: a VOC file plays only as an effect"},
        {W, 1, 25, "may not be heard: it holds Ogg but its name says WAV, and music is decoded by its name"}}},
      {"no Page.wav in the story folder, one in DATA", "@Ptext@E",
       {{W, 1, 1, "(looked for " + story.root() + "/Page.wav); there is \"DATA/page.wav\""}}},
  };
  story.Write("DATA/page.wav", test::WavBytes(10));
  story.Write("voice.voc", std::string("Creative Voice File\x1a\x1a\x00\x14\x01\x1f\x11", 26) +
                               std::string("\x01\x06\x00\x00\x9c\x00\x80\x80\x80\x80", 10));
  // A first Ogg page whose Vorbis header says 44.1 kHz stereo.
  story.Write("ogg.wav", test::Hex("4f67675300020000000000000000000000000000000000000000011e01766f72626973000000000144ac0000"
                                   "000000000000000000000000b801"));
  for (const Case& c : cases) Expect(story, c);
  // MIDI is said to need a synthesizer only where none is set up.
  const std::string midi = "MThd";
  const auto* bytes = reinterpret_cast<const uint8_t*>(midi.data());
  EXPECT_NE(SoundPlayProblem(bytes, 4, "a.mid", false, false).find("MIDI is heard only where"), std::string::npos);
  EXPECT_EQ(SoundPlayProblem(bytes, 4, "a.mid", true, true), "");
}

// N lines of "@@S1" then "@S1": each skipped, the last counts. (Once quadratic.)
TEST(Check, HostileScriptOfSkippedDefinitions) {
  constexpr uint32_t kLines = 5000;
  TempStory story;
  const std::string script = Repeat("@@S1\r\n", kLines) + "@S1\r\n";
  const std::vector<Finding> got = Findings(story, script);
  uint32_t skipped = 0;
  for (const Finding& f : got) {
    if (f.message.find("follows another \"@\"") == std::string::npos) continue;
    EXPECT_EQ(f.line, ++skipped);
    EXPECT_EQ(f.column, 2u);
  }
  EXPECT_EQ(skipped, kLines);
  EXPECT_EQ(got.size(), kLines + 2) << "the page over 999 bytes, its line wider than the box";
}

// A line of full-width spaces before "S": each said up to the list's bound. (Once quadratic.)
TEST(Check, HostileLineOfFullWidthSpacesBeforeS) {
  constexpr uint32_t kPairs = 12000;
  TempStory story;
  const std::vector<Finding> got = Findings(story, Repeat("\x81\x40S", kPairs));
  ASSERT_EQ(got.size(), 10001u);
  uint32_t column = 1;
  for (size_t i = 0; i + 1 < got.size(); ++i) {
    if (got[i].message.find("the full-width space before \"S\" makes the command \"@S\"") == std::string::npos) continue;
    EXPECT_EQ(got[i].column, column);
    column += 2;
  }
  EXPECT_EQ(column, 2 * (10000 - 2) + 1) << "all but the page over 999 bytes and its line wider than the box";
  EXPECT_EQ(got.back().message.rfind(std::to_string(kPairs + 2 - 10000) + " more problems are not listed", 0), 0u);
}

TEST(CheckStory, ReadsTheScriptWhereThePlayerFindsIt) {
  TempStory story(/*withData=*/false);
  StoryCheck check;
  std::string error;
  EXPECT_FALSE(CheckStory(story.root(), &check, &error));
  EXPECT_NE(error.find("Script.txt"), std::string::npos) << error;

  story.Write("data/script.txt", "@Z@J3,");
  for (const std::string& given : {story.root(), story.root() + "/data/", story.root() + "/data/script.txt"}) {
    EXPECT_EQ(StoryRootFor(given), story.root()) << given;
  }
  ASSERT_TRUE(CheckStory(story.root(), &check, &error)) << error;
  EXPECT_EQ(check.scriptName, "data/script.txt");
  EXPECT_EQ(check.scriptPath, story.root() + "/data/script.txt");
  ASSERT_EQ(check.findings.size(), 1u);
  EXPECT_EQ(check.findings[0].severity, W);
}

}  // namespace
}  // namespace ks

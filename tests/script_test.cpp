// The script file, label index and interpreter on tiny scripts; where a story's files are found.
#include <sys/stat.h>
#include <unistd.h>

#include "core/story_path.h"
#include "platform/desktop/desktop_machine.h"
#include "platform/headless/memory_machine.h"
#include "present/background.h"
#include "save/save_file.h"
#include "script/interpreter.h"
#include "script/label_index.h"
#include "script/script_file.h"
#include "sound/sound.h"
#include "support.h"

namespace ks {
namespace {

using test::LoadedEngine;
using test::PageString;
using test::TempStory;

TEST(ScriptFile, ExactBytesWithLineFeedsAsCommasAndClearReasons) {
  TempStory story;
  auto s = LoadedEngine(story, "a\r\nb\nc\x81\x40@E");
  EXPECT_EQ(std::string(s->script.scriptBuffer.begin(), s->script.scriptBuffer.end()), "a\r,b,c\x81\x40@E");
  EXPECT_EQ(s->script.scriptSize, 10u);

  EngineState missing;
  missing.storyRoot = story.root() + "/nowhere";
  std::string error;
  EXPECT_FALSE(LoadScript(missing, &error));
  EXPECT_NE(error.find("DATA/Script.txt: No such file"), std::string::npos) << error;

  // A FIFO would hold the player and /dev/zero never ends: only regular files are read or played.
  ASSERT_EQ(unlink(story.Path("DATA/Script.txt").c_str()), 0);
  ASSERT_EQ(mkfifo(story.Path("DATA/Script.txt").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo(story.Path("song.wav").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", story.Path("zero.bmp").c_str()), 0);
  test::RecordingAudio audio;
  s->sound.audio = &audio;
  EXPECT_FALSE(LoadScript(*s, &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  EXPECT_FALSE(LoadBackground(*s, s->display.backgroundSurface, "zero.bmp", &error));
  PlayBgm(*s, "song.wav");
  EXPECT_TRUE(audio.calls.empty());
}

TEST(ScriptFile, FieldsAndNumbers) {
  TempStory story;
  auto s = LoadedEngine(story, ",abc,0123456789abcdef,tail");
  char out[8];
  for (const auto& [text, pos] : {std::pair{"", 1u}, {"abc", 5u}, {"0123456", 22u}, {"tail", 26u}, {"", 26u}}) {
    ReadField(*s, out, sizeof out);  // too long: cut, the rest read past; no comma: ends at the end
    EXPECT_STREQ(out, text);
    EXPECT_EQ(s->script.scriptPos, pos);
  }
  const std::pair<const char*, int32_t> numbers[] = {
      {"42", 42}, {"  \t7x", 7}, {"12\r", 12}, {"-3", -3}, {"+5", 5}, {"", 0}, {"- 5", 0},
      {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(AtolRule(text), value) << text;
}

// The scan steps a byte past each definition's comma, skipping one that starts there.
TEST(LabelIndex, PositionsAndTheDefinitionsTheScanSkips) {
  struct Case { const char* script; int label; uint32_t position; };
  const Case cases[] = {
      {"text@S5,more@S7,x", 5, 8},    {"text@S5,more@S7,x", 7, 16},
      {"x@S12\r\nend", 12, 7},       // the CR stays in the field; atol stops at it
      {"@S1\n@S2\nx", 2, 0},         // consecutive lines: the second is skipped
      {"@S1\r\n@S2\r\nx", 2, 0},     {"@S1,@S2,x", 2, 0},
      {"ab@@S3,x", 3, 0},            // the byte after the first "@" is stepped over
      {"@S1\nz@S2\nx", 2, 9},        // a byte in between: both are found
      {"@S4,a@S4,@S4,b", 4, 9},      // the later wins; the third is skipped
      {"xx@Sabc,y", 0, 8},           // no digits: label 0
      {"@S100,a@S-1,b@S99,c", 99, 18}, {"@S100,a@S-1,b@S99,c", 1, 0},
      {"@S0000000000042,d", 0, 16},  // 13 digits cut to 11 zeros
      {"@S00000000042,e", 42, 14},   {"abc@S9", 9, 6}, {"@S", 0, 2},
  };
  TempStory story;
  for (const Case& c : cases) {
    auto s = LoadedEngine(story, c.script);
    EXPECT_EQ(s->script.labelTable[size_t(c.label)], c.position) << c.script;
    EXPECT_EQ(s->script.scriptPos, 0u);
  }
}

class Interpreter : public ::testing::Test {
 protected:
  // Loads `script`, runs it `runs` times, and sums up the result:
  // "PAGE|POSITION" with the flags that are set; "end" is the script's end.
  std::string Run(const std::string& script, int runs = 1) {
    state_ = LoadedEngine(story_, script);
    state_->sound.audio = &audio_;
    for (int i = 0; i < runs; ++i) RunScript(*state_);
    const EngineState& s = *state_;
    std::string out = PageString(s) + "|" +
                      (s.script.scriptPos == s.script.scriptSize ? "end" : std::to_string(s.script.scriptPos));
    if (s.screen.uiMode) out += " mode=" + std::to_string(s.screen.uiMode);
    for (const auto& [flag, name] : {std::pair{s.screen.fadeActive, " fade"}, {s.screen.titleNotice, " title"},
                                     {s.screen.quitRequested, " quit"}}) {
      if (flag) out += name;
    }
    return out;
  }

  TempStory story_;
  test::RecordingAudio audio_;
  std::unique_ptr<EngineState> state_;
};

TEST_F(Interpreter, PagesCommandsAndText) {
  struct Case { const char* script; int runs; const char* expected; };
  const Case cases[] = {
      {"first@Nsecond@Enext", 1, "first\nsecond|15"},
      {"first@Nsecond@Enext", 2, "first\nsecondnext|end"},  // text after "@E" joins the page
      {"first@Nsecond@Enext", 3, "first\nsecondnext|end"},
      {"one\r\ntwo,three@E", 1, "one\rtwothree|end"},
      {"a long first page@E@Rshort@E", 2, "short|end"},
      {"x@By@E", 1, "x@By|end"},  {"x@@Ey", 1, "x@|4"},  {"x@,y@E", 1, "x@y|end"},  {"x@ey@E", 1, "x@ey|end"},
      {"@I@L@O@Q@V@X@E", 1, "@I@L@O@Q@V@X|end"},  {"end@", 1, "end@|end"},
      {"\x81\x40" "Etail", 1, "\x81|3"},  // a full-width space's second byte is "@"
      {"\x81\x40\x82\xa0@E", 1, "\x81\x40\x82\xa0|end"},
      {"@J7,skipped@S7,here@E", 1, "here|end"},
      {"top@E@J3,", 2, "toptop|5"},       // label 3 never defined: the start
      {"@S1,x@E@J101,", 2, "xx|7"},       // outside 0 to 99: the start
      {"a@S12,b@E", 1, "ab|end"},  {"a@S,b@E", 1, "ab|end"},  {"ab@S12", 1, "ab|end"},
      {"a@S1\rX,b@E", 1, "ab|end"},  // the whole field, a CR in it too
      {"@J99,skipped@S99,here@E", 1, "here|end"},
      {"dark@Fafter@E", 1, "dark|6 fade"},
      {"@T@Z@Hpage@E", 1, "page|end title quit"},  // "@Z" lets the page finish
      {"@S1,@J1,", 1, "|end"},            // a loop with no stop ends after one lap
      {"start@S1,x@J1,", 2, "startxx|end"},
      {"a@J2,@S1,b@E@S2,c@J1,", 1, "acb|12"},  // one jump taken twice is no loop
      {"Which?@Cleft,1,right,2,@after", 1, "Which?|24 mode=2"},
      {"@Cyes,1,no", 1, "|end mode=2"},   {"text@C", 1, "text|end"},
      {"@Kpage one@E", 1, "|2"},           // no save: past "@K", nothing changed
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.script, c.runs), c.expected) << c.script << " x" << c.runs;

  Run("a long first page@E@Rshort@E", 2);
  EXPECT_EQ(std::string(state_->page.pageText + 6, 11), " first page");  // old bytes stay
  EXPECT_EQ(Run(std::string(1500, 'a') + "@E", 2), std::string(999, 'a') + "|end");
  EXPECT_EQ(state_->page.pageLength, 999u);
  Run("@H@Gabcdefghijklmnopqrstuvwxyz.bmp,@E");
  EXPECT_STREQ(state_->assets.backgroundFile, "abcdefghijklmnopqrs");  // kept though missing; 19 bytes
  EXPECT_EQ(std::pair(state_->choices.choiceX, state_->choices.choiceY), std::pair(100, 220));
  Run("@H@U@E");
  EXPECT_EQ(state_->choices.choiceX, 265);
}

TEST_F(Interpreter, ChoiceLists) {
  Run("@Cyes,10\r\nno,20\r\nmaybe,30\r\n@\r\n");  // one per line: the CR stops each number
  EXPECT_EQ(state_->screen.uiMode, 3);
  EXPECT_EQ(state_->screen.cursor, 0);
  EXPECT_STREQ(state_->choices.choiceTexts[2], "maybe");
  EXPECT_EQ(state_->choices.choiceTargets[1], 20);

  const std::string longText(120, 'x');
  Run("@Ca,1,b,2,c,3,d,4,e,5,f,6,g,7,@" + longText + "@E", 2);
  EXPECT_EQ(state_->screen.uiMode, 5);  // the sixth and seventh are read past
  EXPECT_STREQ(state_->choices.choiceTexts[4], "e");
  EXPECT_EQ(PageString(*state_), longText);  // the script resumes after the "@"
  Run("@C" + longText + ",000000000009999,@");
  EXPECT_EQ(std::string(state_->choices.choiceTexts[0]), longText.substr(0, 99));
  EXPECT_EQ(state_->choices.choiceTargets[0], 0);  // 15 digits cut to 11 zeros
}

TEST_F(Interpreter, SoundCommandsAndLoad) {
  for (const char* name : {"song.ogg", "rain.wav", "bell.wav", "Page.wav"}) story_.Write(name, "x");
  Run("@Msong.ogg,@Arain.wav,@Wbell.wav,@P@D@Y@E");
  EXPECT_STREQ(state_->assets.bgmFile, "song.ogg");
  EXPECT_EQ(audio_.calls, (std::vector<std::string>{"open music song.ogg = 1", "play 1 notify",
                                                    "open loop rain.wav = 2", "play 2 notify",
                                                    "open oneshot bell.wav = 3", "play 3",
                                                    "open page Page.wav = 4", "play 4",
                                                    "stop 1", "close 1", "stop 2", "close 2"}));
  // A loop that plays music opens it once a lap: one lap more, however long the script.
  audio_.calls.clear();
  Run("@S1,@Msong.ogg,@J1," + std::string(100000, ' '));
  EXPECT_EQ(audio_.calls.size(), 6u);

  // "@K" with a save resumes where it was saved.
  Run("@Kpage one@Epage two@E", 3);
  std::string error;
  ASSERT_TRUE(SaveGame(*state_, &error)) << error;
  EXPECT_EQ(Run("@Kpage one@Epage two@E"), "page onepage two|end");
}

TEST(StoryPath, WindowsNamesFoundAsWrittenIgnoringCaseOrAsUtf8) {
  test::TempStory story;
  for (const char* file : {"pics/bg.bmp", "Data/BG/Night.BMP", "\x83\x5C\x83\x74\x83\x40.bmp" /* ソファ.bmp */,
                           "\x83\x61.wav" /* ヂ.wav */, "\xE7\xB5\xB5/\xE5\xA4\x9C.BMP" /* 絵/夜.BMP in UTF-8 */,
                           "Bell.wav", "BELL.wav"}) {
    story.Write(file, "x");
  }
  struct Case { const char* name; const char* relative; /* "" when not found */ bool exact; };
  const Case cases[] = {
      {"pics\\bg.bmp", "pics/bg.bmp", true},
      {"DATA\\bg\\night.bmp", "Data/BG/Night.BMP", false},
      {"\x83\x5C\x83\x74\x83\x40.BMP", "\x83\x5C\x83\x74\x83\x40.bmp", false},  // ソ's 5C is no separator
      {"\x83\x41.wav", "", false},                 // ア is 83 41: not ヂ 83 61, though "A" and "a" differ only so
      {"\x8A\x47\\\x96\xE9.bmp", "\xE7\xB5\xB5/\xE5\xA4\x9C.BMP", false},  // 絵\夜.bmp in CP932
      {"bell.wav", "BELL.wav", false},             // several variants: the first in byte order
      {"Bell.wav", "Bell.wav", true},
  };
  for (const Case& c : cases) {
    const StoryFile file = FindStoryFile(story.root(), c.name);
    EXPECT_EQ(file.found ? file.relative : "", c.relative) << c.name;
    EXPECT_EQ(file.exact, c.exact) << c.name;
    EXPECT_TRUE(!file.found || file.path == story.Path(c.relative)) << file.path;
  }
}

TEST(StoryPath, WhenNothingMatchesTheFoldersThatDoAreKept) {
  test::TempStory story(/*withData=*/false);
  story.Write("data/Script.txt", "page@E");
  EXPECT_EQ(FindStoryFile(story.root(), kSaveFileName).relative, "data/save.txt");
  EXPECT_EQ(FindStoryFile(story.root(), "missing\\dir\\x.bmp").relative, "missing/dir/x.bmp");
  // The loaders go through it: a story whose folder is spelled "data" plays and saves there.
  EngineState state;
  state.storyRoot = story.root();
  std::string error;
  ASSERT_TRUE(LoadScript(state, &error)) << error;
  ASSERT_TRUE(SaveGame(state, &error)) << error;
  EXPECT_EQ(story.Read("data/save.txt").size(), 1068u);
}

// A story in memory is looked up by the disk's rules, and a save lands in memory.
TEST(StoryPathOverTheSeam, MemoryStoryFollowsTheLookupRules) {
  MemoryMachine memory;
  memory.Put("/s/DATA/Script.txt", {'@', 'R', 'a', '@', 'E'});
  memory.Put("/s/Data/PIC.bmp", {1});
  memory.Put("/s/DATA/\xE3\x82\xBD.bmp", {2});  // "ソ" in UTF-8
  UseMachine(&memory);
  struct Case { const char* name; const char* relative; bool found; };
  for (const Case& c : {Case{"data\\pic.BMP", "Data/PIC.bmp", true}, {"DATA\\\x83\x5C.bmp", "DATA/\xE3\x82\xBD.bmp", true},
                        {"DATA/missing.bmp", "DATA/missing.bmp", false}}) {
    const StoryFile file = FindStoryFile("/s", c.name);
    EXPECT_EQ(file.found, c.found) << c.name;
    EXPECT_EQ(file.relative, c.relative) << c.name;
  }
  EngineState state;
  state.storyRoot = "/s";
  std::string error;
  EXPECT_TRUE(LoadScript(state, &error)) << error;
  EXPECT_TRUE(SaveGame(state, &error)) << error;
  EXPECT_TRUE(memory.IsRegularFile("/s/DATA/save.txt"));
  UseMachine(&Desktop());
}

}  // namespace
}  // namespace ks

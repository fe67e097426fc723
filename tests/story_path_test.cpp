// Where a file a story names is found on disk.
#include "platform/story_path.h"
#include "save/save_file.h"
#include "script/script_file.h"
#include "support.h"

namespace ks {
namespace {

TEST(StoryPath, WindowsNamesFoundAsWrittenIgnoringCaseOrAsUtf8) {
  test::TempStory story;
  for (const char* file : {"pics/bg.bmp", "Data/BG/Night.BMP", "\x83\x5C\x83\x74\x83\x40.bmp" /* ソファ.bmp */,
                           "\x83\x61.wav" /* ヂ.wav */, "\xE7\xB5\xB5/\xE5\xA4\x9C.BMP" /* 絵/夜.BMP in UTF-8 */,
                           "Bell.wav", "BELL.wav"}) {
    story.Write(file, "x");
  }
  struct Case {
    const char* name;
    const char* relative;  // "" when not found
    bool exact;
  };
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
    if (file.found) {
      EXPECT_EQ(file.path, story.Path(c.relative));
    }
  }
}

TEST(StoryPath, WhenNothingMatchesTheFoldersThatDoAreKept) {
  test::TempStory story(/*withData=*/false);
  story.Write("data/Script.txt", "page@E");
  EXPECT_EQ(FindStoryFile(story.root(), kSaveFileName).relative, "data/save.txt");
  EXPECT_EQ(FindStoryFile(story.root(), "missing\\dir\\x.bmp").relative, "missing/dir/x.bmp");
  // The loaders go through it: a story whose folder is spelled "data" plays
  // and saves there.
  EngineState state;
  state.storyRoot = story.root();
  std::string error;
  ASSERT_TRUE(LoadScript(state, &error)) << error;
  ASSERT_TRUE(SaveGame(state, &error)) << error;
  EXPECT_EQ(story.Read("data/save.txt").size(), 1068u);
}

}  // namespace
}  // namespace ks

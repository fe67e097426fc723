#include "platform/story_path.h"

#include "save/save_file.h"
#include "script/script_file.h"
#include "test_support.h"

namespace ks {
namespace {

using test::TempStory;

TEST(StoryPath, ExactNameAndWindowsSeparators) {
  TempStory story;
  story.Write("pics/bg.bmp", "x");
  StoryFile file = FindStoryFile(story.root(), "pics\\bg.bmp");
  EXPECT_TRUE(file.found);
  EXPECT_TRUE(file.exact);
  EXPECT_EQ(file.relative, "pics/bg.bmp");
  EXPECT_EQ(file.path, story.Path("pics/bg.bmp"));
}

TEST(StoryPath, EachComponentMatchesIgnoringAsciiCase) {
  TempStory story;
  story.Write("Data/BG/Night.BMP", "x");
  const StoryFile file = FindStoryFile(story.root(), "DATA\\bg\\night.bmp");
  EXPECT_TRUE(file.found);
  EXPECT_FALSE(file.exact);
  EXPECT_EQ(file.relative, "Data/BG/Night.BMP");
}

TEST(StoryPath, DoubleByteCharactersAreComparedWholeAndNeverSplit) {
  TempStory story;
  // "ソ" is 83 5C: its second byte is a backslash, not a separator.
  story.Write("\x83\x5C\x83\x74\x83\x40.bmp", "x");  // ソファ.bmp
  EXPECT_TRUE(FindStoryFile(story.root(), "\x83\x5C\x83\x74\x83\x40.BMP").found);
  // "ア" is 83 41 and "ヂ" 83 61: their second bytes differ only as "A" and
  // "a" do, but they are different characters.
  story.Write("\x83\x61.wav", "x");
  EXPECT_FALSE(FindStoryFile(story.root(), "\x83\x41.wav").found);
  story.Write("\x83\x41.wav", "y");
  EXPECT_EQ(FindStoryFile(story.root(), "\x83\x41.WAV").relative, "\x83\x41.wav");
}

TEST(StoryPath, NamesConvertedToUtf8AreFound) {
  TempStory story;
  story.Write("\xE7\xB5\xB5/\xE5\xA4\x9C.BMP", "x");  // 絵/夜.BMP in UTF-8
  const StoryFile file = FindStoryFile(story.root(), "\x8A\x47\\\x96\xE9.bmp");  // 絵\夜.bmp in CP932
  EXPECT_TRUE(file.found);
  EXPECT_EQ(file.relative, "\xE7\xB5\xB5/\xE5\xA4\x9C.BMP");
}

TEST(StoryPath, WhenNothingMatchesTheMatchingFoldersAreKept) {
  TempStory story(/*withData=*/false);
  story.Write("data/Script.txt", "page@E");
  const StoryFile save = FindStoryFile(story.root(), kSaveFileName);
  EXPECT_FALSE(save.found);
  EXPECT_EQ(save.relative, "data/save.txt");
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

TEST(StoryPath, SeveralCaseVariantsGiveTheSameChoiceEveryTime) {
  TempStory story;
  story.Write("Bell.wav", "1");
  story.Write("BELL.wav", "2");
  EXPECT_EQ(FindStoryFile(story.root(), "bell.wav").relative, "BELL.wav");  // first in byte order
  EXPECT_EQ(FindStoryFile(story.root(), "Bell.wav").relative, "Bell.wav");  // as written wins
}

}  // namespace
}  // namespace ks

#include "save/save_file.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "script/interpreter.h"
#include "sound/sound.h"
#include "test_support.h"

namespace ks {
namespace {

using test::LoadedEngine;
using test::PageString;
using test::RecordingAudio;
using test::TempStory;

const std::string kScript = "@Mtheme.ogg,first page@Esecond page, longer than the first@E@R2nd@E";

// The fields a save holds, as one byte string, to compare states whole.
std::string SavedFields(const EngineState& s) {
  const SaveRecord r = MakeSaveRecord(s);
  return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

TEST(SaveFile, RecordLayoutIsByteForByte) {
  TempStory story;
  auto s = LoadedEngine(story, kScript);
  std::memcpy(s->assets.backgroundFile, "bg.bmp\0junk-after-N", 20);
  std::memcpy(s->assets.bgmFile, "theme.ogg", 10);
  s->page.pageLength = 0x01020304;
  s->script.scriptPos = 0xA0B0C0D0;
  for (size_t i = 0; i < kPageBytes; ++i) s->page.pageText[i] = char(i * 7);

  std::string error;
  ASSERT_TRUE(SaveGame(*s, &error)) << error;
  const std::vector<uint8_t> file = story.Read("DATA/save.txt");
  ASSERT_EQ(file.size(), 1068u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 20), std::string("bg.bmp\0junk-after-N", 20));
  EXPECT_EQ(std::string(file.begin() + 20, file.begin() + 30), std::string("theme.ogg\0", 10));
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 60, file.begin() + 68),
            (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0}));
  for (size_t i = 0; i < kPageBytes; ++i) ASSERT_EQ(file[68 + i], uint8_t(i * 7)) << i;
}

TEST(SaveFile, SaveThenLoadRestoresEverythingAndRestartsTheMusic) {
  TempStory story;
  story.Write("theme.ogg", "x");
  RecordingAudio audio;
  auto s = LoadedEngine(story, kScript);
  s->sound.audio = &audio;
  RunScript(*s);
  RunScript(*s);
  RunScript(*s);  // "2nd" over a longer page: stale bytes past the NUL
  ASSERT_EQ(PageString(*s), "2nd");
  const std::string before = SavedFields(*s);
  std::string error;
  ASSERT_TRUE(SaveGame(*s, &error)) << error;

  s->screen.cursor = 3;
  audio.calls.clear();
  ASSERT_TRUE(LoadGame(*s, &error)) << error;
  EXPECT_EQ(SavedFields(*s), before);
  EXPECT_EQ(s->screen.cursor, 0);
  // The same music restarts from its beginning.
  EXPECT_EQ(audio.calls, (std::vector<std::string>{"stop 1", "close 1", "open music theme.ogg = 2", "play 2 notify"}));

  // And into a fresh engine over the same script.
  auto fresh = LoadedEngine(story, kScript);
  ASSERT_TRUE(LoadGame(*fresh, &error)) << error;
  EXPECT_EQ(SavedFields(*fresh), before);
}

TEST(SaveFile, EmptyMusicNameStopsTheMusicAndOpensNothing) {
  TempStory story;
  story.Write("theme.ogg", "x");
  RecordingAudio audio;
  auto s = LoadedEngine(story, "page@E");
  RunScript(*s);
  std::string error;
  ASSERT_TRUE(SaveGame(*s, &error)) << error;
  s->sound.audio = &audio;
  PlayBgm(*s, "theme.ogg");
  audio.calls.clear();
  ASSERT_TRUE(LoadGame(*s, &error)) << error;
  EXPECT_EQ(audio.calls, (std::vector<std::string>{"stop 1", "close 1"}));
}

TEST(SaveFile, MissingOrShortSaveChangesNothing) {
  TempStory story;
  RecordingAudio audio;
  auto s = LoadedEngine(story, kScript);
  s->sound.audio = &audio;
  RunScript(*s);
  s->screen.cursor = 2;
  const std::string before = SavedFields(*s);
  std::string error;
  EXPECT_FALSE(LoadGame(*s, &error));
  EXPECT_NE(error.find("save.txt"), std::string::npos) << error;

  story.Write("DATA/save.txt", std::string(1067, 'a'));
  EXPECT_FALSE(LoadGame(*s, &error));
  EXPECT_EQ(SavedFields(*s), before);
  EXPECT_EQ(s->screen.cursor, 2);
  EXPECT_EQ(audio.calls, std::vector<std::string>{});
}

TEST(SaveFile, LoadMakesImpossibleValuesSafe) {
  TempStory story;
  auto s = LoadedEngine(story, "short script");
  std::vector<uint8_t> bytes(1068, 'A');  // no NUL anywhere
  const uint8_t huge[8] = {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x01, 0x00};
  std::memcpy(bytes.data() + 60, huge, 8);
  story.Write("DATA/save.txt", bytes);
  std::string error;
  ASSERT_TRUE(LoadGame(*s, &error)) << error;
  EXPECT_EQ(s->page.pageLength, 999u);
  EXPECT_EQ(s->script.scriptPos, s->script.scriptSize);
  EXPECT_EQ(std::string(s->assets.backgroundFile), std::string(19, 'A'));
  EXPECT_EQ(std::string(s->assets.bgmFile), std::string(39, 'A'));
  EXPECT_EQ(PageString(*s), std::string(999, 'A'));
  RunScript(*s);  // resumes at the script's end without a fault
  EXPECT_EQ(s->page.pageText[999], '\0');
}

TEST(SaveFile, FailedSaveKeepsThePreviousSave) {
  TempStory story;
  auto s = LoadedEngine(story, kScript);
  RunScript(*s);
  std::string error;
  ASSERT_TRUE(SaveGame(*s, &error)) << error;
  const std::vector<uint8_t> old = story.Read("DATA/save.txt");
  RunScript(*s);

  // A full disk: the file may only grow to 100 bytes.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool ok = SaveGame(*s, &error);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find("DATA/save.txt"), std::string::npos) << error;
  EXPECT_EQ(story.Read("DATA/save.txt"), old);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(story.Path("DATA")),
                          std::filesystem::directory_iterator()),
            2);

  if (geteuid() != 0) {  // permissions do not bind root
    chmod(story.Path("DATA").c_str(), 0555);
    EXPECT_FALSE(SaveGame(*s, &error));
    EXPECT_EQ(story.Read("DATA/save.txt"), old);
  }
}

TEST(SaveFile, NoDataFolderIsAFailureAndIsNotCreated) {
  TempStory story(/*withData=*/false);
  EngineState s;
  s.storyRoot = story.root();
  std::string error;
  EXPECT_FALSE(SaveGame(s, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(story.Path("DATA")));
}

}  // namespace
}  // namespace ks

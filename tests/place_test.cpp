// The reader's place: slots, their pictures, a folder refusing them, going back in random stories.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "read_png.h"
#include "reader/aids.h"
#include "reader/rollback.h"
#include "reader/slots.h"
#include "save/save_file.h"
#include "support.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::PageString;

class Place : public test::FrameTest {
 protected:
  void SetUp() override { state_.reader.place.slotsFolder = story_.Path("slots"); }
  std::string Slot(const char* name) { return story_.Read(std::string("slots/") + name); }
};

// Stripes one pixel wide behind the text: a wrong block or rounding in the thumbnail shows.
TEST_F(Place, SlotsHoldWhatTheMenuSavesAndAPictureOfTheScreen) {
  Image stripes{640, 480, {}};
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) stripes.pixels.push_back(x % 2 ? 0xFF8000u : uint32_t(y) * 0x000101u);
  }
  story_.Write("s.bmp", test::EncodeBmp(stripes, 24));
  Start("@Gs.bmp,@Rone@E@Rtwo longer@E@Cyes,1,no,2,@@S1,@Rthree@E@S2,@Rfour@E");
  ASSERT_TRUE(Frames(". E . S . E ."));  // the menu's save on page two
  const std::string menu = story_.Read("DATA/save.txt");
  ASSERT_TRUE(Frames("E . W ."));  // dismiss; the quick save in the same place
  EXPECT_EQ(Slot("quick.sav"), menu);
  const Surface screen = state_.display.primarySurface;
  // F2: Auto refuses Enter; slot 2 (empty) saved; the notice dismissed.
  ASSERT_TRUE(Frames("V . U . E . D . D . E . E ."));
  EXPECT_EQ(Slot("2.sav"), menu);
  Image thumb;
  std::string error;
  ASSERT_TRUE(test::ReadPng(story_.Path("slots/2.png"), &thumb, &error)) << error;
  ASSERT_EQ(std::pair(thumb.width * 4, thumb.height * 4), std::pair(640, 480));
  int wrong = 0;
  for (int y = 0; y < thumb.height; ++y) {
    for (int x = 0; x < thumb.width; ++x) {
      for (int shift : {0, 8, 16}) {
        int sum = 0;
        for (int i = 0; i < 16; ++i) sum += int(screen.Row(y * 4 + i / 4)[x * 4 + i % 4] >> shift & 0xFF);
        wrong += int(thumb.pixels[size_t(y * thumb.width + x)] >> shift & 0xFF) != (sum + 8) / 16;
      }
    }
  }
  EXPECT_EQ(wrong, 0);

  // On: a slot saved over asks once; loading goes back to page two.
  ASSERT_TRUE(Frames("E ."));  // the choice list
  ASSERT_TRUE(Frames("V"));
  EXPECT_EQ(state_.reader.place.slotsShown, 0) << "a choice list is no place to save";
  ASSERT_TRUE(Frames(". O . D . D . D . E ."));  // F3 on the choice list: slot 2
  EXPECT_EQ(PageString(state_), "two longer");
  EXPECT_EQ(state_.screen.uiMode, kUiPage);
  EXPECT_EQ(state_.screen.loadedNotice, 1u);
  EXPECT_EQ(test::SavedFields(state_), menu);

  // A read-only folder: the failure shows, and every slot stays as it was.
  const std::string quick = Slot("quick.sav"), quickPng = Slot("quick.png");
  fs::permissions(story_.Path("slots"), fs::perms(0555));
  ASSERT_TRUE(Frames("E . W ."));
  EXPECT_EQ(state_.screen.saveFailedNotice, 1u);
  ASSERT_TRUE(Frames("E . V . D . E . E ."));
  EXPECT_EQ(state_.screen.saveFailedNotice, 1u);
  fs::permissions(story_.Path("slots"), fs::perms::owner_all);
  EXPECT_EQ(Slot("quick.sav"), quick);
  EXPECT_EQ(Slot("quick.png"), quickPng);
  EXPECT_EQ(Slot("2.sav"), menu);
  EXPECT_FALSE(fs::exists(story_.Path("slots/1.sav")));
}

// The place kept on quit is the last page, not a choice list; a story that ended keeps none.
TEST_F(Place, TheAutoSlotKeepsTheLastPageUnlessTheStoryEndedAndF9TakesTheNewest) {
  Start("@Rzero@E@Rone@E@Rtwo@Cyes,1,no,2,@\n@S1\n@Rthree@E@Z\n@S2\n@Rfour@E");
  ASSERT_TRUE(Frames(". W . E . E ."));  // a quick save on page zero; the choice list after page one
  fs::last_write_time(story_.Path("slots/quick.sav"), fs::file_time_type::clock::now() - std::chrono::hours(1));
  const std::string one = [&] {
    test::StoryPlayer other;
    other.story_.WriteScript(std::string(state_.script.scriptBuffer.begin(), state_.script.scriptBuffer.end()));
    other.Start();
    other.Frames(". E .");
    return test::SavedFields(other.state_);
  }();
  std::string error;
  ASSERT_TRUE(KeepPlace(state_, &error)) << error;
  const std::string kept = Slot("auto.sav");
  EXPECT_EQ(kept, one);
  EXPECT_EQ(PageAfter("L ."), "one") << "F9 takes the newer of the quick save and the place kept";
  EXPECT_FALSE(Frames("E . E . E . E .")) << "three, then the story quits by itself";
  ASSERT_TRUE(KeepPlace(state_, &error)) << error;
  EXPECT_EQ(Slot("auto.sav"), kept);
}

// A story of labels, pages, pictures, music and choices that jump about.
std::string RandomStory(std::mt19937& random) {
  const int labels = 3 + int(random() % 6);
  std::string script;
  for (int label = 0; label < labels; ++label) {
    script += (label ? "\n@S" : "@S") + std::to_string(label) + ",";  // a line of its own: indexed after a choice too
    for (int page = int(random() % 3); page >= 0; --page) {
      if (random() % 3 == 0) script += "@G" + std::string(random() % 2 ? "a" : "b") + ".bmp,";
      if (random() % 4 == 0) script += "@M" + std::string(random() % 2 ? "x" : "y") + ".wav,";
      if (random() % 2) script += "@R";
      script += "L" + std::to_string(label) + "p" + std::to_string(page) + (random() % 2 ? "@N" : "") + "@E";
    }
    const int next = int(random() % unsigned(labels));
    if (random() % 2) {
      script += random() % 2 ? "@C" : random() % 2 ? "@H@C" : "@U@C";  // the list up high or low
      for (int c = 1 + int(random() % 3); c > 0; --c) {
        script += "c" + std::to_string(c) + "," + std::to_string(random() % unsigned(labels)) + ",";
      }
      script += "@";
    } else {
      script += "@J" + std::to_string(next) + ",";
    }
  }
  return script;
}

// Everything a stop leaves that a reader could see or the story could read.
std::string StoryState(const EngineState& s) {
  std::string out(reinterpret_cast<const char*>(&s.page), sizeof s.page);
  out.append(reinterpret_cast<const char*>(&s.choices), sizeof s.choices);
  out.append(reinterpret_cast<const char*>(&s.assets), sizeof s.assets);
  for (uint32_t v : {s.script.scriptPos, uint32_t(s.screen.uiMode), uint32_t(s.screen.cursor)}) out += std::to_string(v) + ",";
  out += s.sound.bgmChannel.fileName;
  return out;
}

uint64_t Hash(const Surface& surface) {
  uint64_t hash = 14695981039346656037ull;
  for (uint32_t p : surface.pixels) hash = (hash ^ p) * 1099511628211ull;
  return hash;
}

TEST(Rollback, GoingBackKStopsThenTheSameKeysPlaysTheSameStory) {
  std::mt19937 random(19);
  for (int story = 0; story < 6; ++story) {
    test::StoryPlayer player;
    player.story_.Write("a.bmp", test::EncodeBmp(test::SolidImage(640, 480, 0x336699), 24));
    player.story_.Write("b.bmp", test::EncodeBmp(test::SolidImage(640, 480, 0x993311), 24));
    for (const char* wav : {"x.wav", "y.wav"}) player.story_.Write(wav, test::WavBytes(100));
    player.Start(RandomStory(random));
    EngineState& s = player.state_;
    const int stops = story == 0 ? 260 : 40 + int(random() % 60);
    // The first pass: the keys of each stop, and where each stop left the story.
    std::vector<std::string> keys, states;
    std::vector<uint64_t> pictures, serials;
    for (int i = 0; i < stops; ++i) {
      std::string k;
      if (const int32_t n = ChoiceCount(s.screen); n > 0) {
        for (auto r = random() % unsigned(n); r > 0; --r) k += "D . ";
      }
      k += "E .";
      ASSERT_TRUE(player.Frames(k));
      keys.push_back(k);
      states.push_back(StoryState(s));
      pictures.push_back(Hash(s.display.backgroundSurface));
      serials.push_back(s.reader.place.backlogPushed - 1);
    }
    EXPECT_LE(s.reader.place.snapshots.size(), kBacklogPages);
    // Back k backlog pages, every k, to the last stop of that page; then on
    // with the same keys, which leaves the story where the first pass did.
    const size_t depth = std::min(s.reader.backlog.size(), kBacklogPages);
    int checked = 0;
    for (size_t k = 1; k < depth; ++k) {
      const uint64_t serial = s.reader.place.backlogPushed - 1 - k;
      int stop = -1;
      for (int i = 0; i < stops; ++i) stop = serials[size_t(i)] == serial ? i : stop;
      if (stop < 0) continue;
      ASSERT_TRUE(GoBack(s, s.reader.backlog.size() - 1 - k)) << "story " << story << " back " << k;
      ASSERT_EQ(StoryState(s), states[size_t(stop)]) << "story " << story << " back " << k;
      ASSERT_EQ(Hash(s.display.backgroundSurface), pictures[size_t(stop)]) << "story " << story << " back " << k;
      for (int i = stop + 1; i < stops; ++i) {
        ASSERT_TRUE(player.Frames(keys[size_t(i)]));
        ASSERT_EQ(StoryState(s), states[size_t(i)]) << "story " << story << " back " << k << " stop " << i;
      }
      ++checked;
    }
    EXPECT_GE(checked, int(depth) / 2) << "story " << story;
  }
}

}  // namespace
}  // namespace ks

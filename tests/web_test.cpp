// Each story published by scripts/web, played in headless chromium, shows the replay's frames
// pixel for pixel; the save the page keeps is the replay's, byte for byte, and loads on the desktop.
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "read_png.h"
#include "support.h"

namespace fs = std::filesystem;

namespace ks {
namespace {

using test::ReadFile;

int Shell(const std::string& command) { return std::system(command.c_str()); }

// The line of the replay's --state file that holds `field`.
std::string StateField(const std::string& stateFile, const std::string& field) {
  const std::string text = ReadFile(stateFile);
  const size_t at = text.find("\"" + field + "\"");
  return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
}

// Each story, its keys and frames checked; sizes and colours show a misplaced or swapped picture.
struct WebCase {
  const char* name;
  std::function<void(const test::TempStory&)> make;
  const char* keys;
  const char* shots;
  const char* keysToTheSave;  // the keys up to the menu's save ("": no save)
  const char* asTheReaderPlays;  // frames shown again as a reader plays: Enter tapped, then held
};

TEST(WebPlayer, PlaysAsTheReplayFrameForFrameAndSavesTheSameBytes) {
  if (!fs::exists(KS_WEB_SITE "/kamishibai-web.wasm") || !fs::exists("/usr/bin/chromium")) {
    GTEST_SKIP() << "\n\n*** THE WEB PLAYER IS NOT TESTED: no " KS_WEB_SITE "/kamishibai-web.wasm or chromium "
                    "(scripts/web builds it; scripts/test does) ***\n";
  }
  const WebCase cases[] = {
      {"demo", [](const test::TempStory& s) {
         fs::copy(KS_DEMO_DIR, s.root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
         fs::remove(s.Path("DATA/save.txt"));
       }, ". E . E . E . E . E . E . E . S . E . E . E . E*20", "0 1 3 5 9 13 16 19 24 40",
       ". E . E . E . E . E . E . E . S . E", ""},
      {"pictures", [](const test::TempStory& s) {
         s.Write("a.bmp", test::EncodeBmp(test::SolidImage(640, 480, 0x2040C0), 24));
         s.Write("Small.BMP", test::EncodeBmp(test::SolidImage(200, 120, 0xC08020), 8, true));
         s.WriteScript("@Ga.bmp,\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\xA1\xB1\xB2@E@Gsmall.bmp,two@N@Nthree@E@Fend@E");
       }, ". E . E . . . . . . . . . . . . . . . . . . . E", "1 3 5 8 12 20 23", "", ""},
      {"choices and sound", [](const test::TempStory& s) {
         s.Write("m.wav", test::WavBytes(100, 440));
         s.Write("tune.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\4\0\xFF\x2F\0", 26));
         s.WriteScript("@Mtune.mid,@Mm.wav,@Wm.wav,ask@C\x82\xCD\x82\xA2,1\n\x82\xA2\x82\xA2\x82\xA6,2\n@\n@S1\nyes@E@S2\nno@E");
       }, ". D . D . U . E . E", "1 3 5 7 9", "", ""},
      {"save", [](const test::TempStory& s) { s.WriteScript("one@E@Rtwo@E@Rthree@E"); }, ". E . E . S . E . E", "2 4 6 8 10", ". E . E . S . E", "2 4"},
  };
  const std::string work = ::testing::TempDir() + "web_test";
  for (const WebCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempStory story, replayed;
    c.make(story);
    fs::copy(story.root(), replayed.root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::remove_all(work);
    std::vector<std::string> frames, checked;  // frames shot; the pictures checked ("real-N": as the reader plays)
    std::string shots, token;
    for (std::istringstream in(c.shots); in >> token;) frames.push_back(token), checked.push_back(token);
    for (std::istringstream in(c.asTheReaderPlays); in >> token;) checked.push_back("real-" + token);
    for (const std::string& f : frames) shots += " --shot " + f + "=" + work + "/replay-" + f + ".png";
    ASSERT_EQ(Shell("mkdir -p " + work + " && " KS_REPLAY " -C " + replayed.root() + " --input '" + c.keys + "'" + shots +
                    " --state " + work + "/replay.json"), 0);
    ASSERT_EQ(Shell("KS_WEB_SITE=" KS_WEB_SITE " KS_CHECK=" KS_CHECK " " KS_SOURCE_DIR "/scripts/web publish " +
                    story.root() + " " + work + "/site >/dev/null 2>" + work + "/publish.err"), 0);
    EXPECT_EQ(ReadFile(work + "/publish.err").find("tune.mid is MIDI") != std::string::npos,
              fs::exists(story.Path("tune.mid")));
    ASSERT_EQ(Shell("KS_NODE_MODULES=" KS_WEB_SITE "/../node/node_modules node " KS_SOURCE_DIR "/tests/web_driver.js " +
                    work + "/site '" + c.keys + "' '" + c.shots + "' " + work + "/web '" + c.asTheReaderPlays + "'"), 0);
    for (const std::string& n : checked) {
      Image expected;
      std::string error, want;
      ASSERT_TRUE(test::ReadPng(work + "/replay-" + n.substr(n.find('-') + 1) + ".png", &expected, &error)) << error;
      for (uint32_t p : expected.pixels) want += {char(p >> 16), char(p >> 8), char(p), '\xFF'};
      EXPECT_TRUE(ReadFile(work + "/web/" + n + ".rgba") == want) << "the pictures differ at frame " << n;
    }
    // The save: the same 1068 bytes, and the desktop loads it to the same place.
    const std::string save = ReadFile(replayed.Path("DATA/save.txt"));
    EXPECT_EQ(ReadFile(work + "/web/save.txt"), save);
    EXPECT_EQ(save.size(), *c.keysToTheSave ? 1068u : 0u);
    if (save.empty()) continue;
    test::TempStory desktop, saving;
    c.make(desktop), c.make(saving);
    fs::copy_file(work + "/web/save.txt", desktop.Path("DATA/save.txt"), fs::copy_options::overwrite_existing);
    ASSERT_EQ(Shell(KS_REPLAY " -C " + desktop.root() + " --input '. S D . E .' --state " + work + "/loaded.json"), 0);
    ASSERT_EQ(Shell(KS_REPLAY " -C " + saving.root() + " --input '" + c.keysToTheSave + "' --state " + work + "/saved.json"), 0);
    EXPECT_EQ(StateField(work + "/loaded.json", "loadedNotice"), "\"loadedNotice\": 1,");
    for (const char* field : {"scriptPos", "pageText", "backgroundFile"}) {
      EXPECT_EQ(StateField(work + "/loaded.json", field), StateField(work + "/saved.json", field));
    }
  }
}

}  // namespace
}  // namespace ks

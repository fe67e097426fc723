// The real player in a real X server (Xvfb), driven by xdotool as a hand
// would, its screen compared with the replay of the same keys.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support.h"
#include "x_session.h"

namespace ks {
namespace {

using test::SleepMs;

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(x_.Start(&error)) << error;
  }
  // Starts the player in the story folder.
  void Launch(const std::map<std::string, std::string>& env = {}, bool waitForWindow = true) {
    std::map<std::string, std::string> all = env;
    all["DISPLAY"] = x_.display();
    ASSERT_TRUE(player_.Start({KS_PLAYER}, story_.root(), all, story_.Path("player.log")));
    if (!waitForWindow) return;
    ASSERT_TRUE(x_.WaitForWindow("Direct X", 10000)) << Log();
    SleepMs(300);
  }
  std::string Log() const {
    const std::vector<uint8_t> log = story_.Read("player.log");
    return std::string(log.begin(), log.end());
  }
  // How many pixels of the screen differ from the replay of `keys`.
  int DiffersFromReplay(const std::string& keys) {
    Image shown;
    std::string error;
    EXPECT_TRUE(x_.Screenshot(&shown, &error)) << error;
    test::StoryPlayer replay;
    std::filesystem::copy(story_.Path("DATA/Script.txt"), replay.story_.Path("DATA/Script.txt"));
    for (const char* file : {"bands.bmp"}) std::filesystem::copy(story_.Path(file), replay.story_.Path(file));
    replay.Start();
    EXPECT_TRUE(replay.Frames(keys));
    const Surface& expected = replay.state_.display.primarySurface;
    if (shown.pixels.size() != expected.pixels.size()) return -1;
    int differ = 0;
    for (size_t i = 0; i < expected.pixels.size(); ++i) differ += shown.pixels[i] != expected.pixels[i];
    return differ;
  }
  int Quit() {
    x_.Press("Escape", 5);
    int status = -1;
    EXPECT_TRUE(player_.Wait(1000, &status)) << "still running a second after Escape";
    return status;
  }

  test::XSession x_;
  test::TempStory story_;
  test::Child player_;
};

TEST_F(Player, TapsAndHeldKeysActOnceEachAndTheScreenIsTheReplays) {
  Image bands{640, 480, {}};  // colour behind the text, as in the golden pictures
  for (int y = 0; y < 480; ++y) bands.pixels.insert(bands.pixels.end(), 640, 0x203050u + uint32_t(y / 80) * 0x202010u);
  story_.Write("bands.bmp", test::EncodeBmp(bands, 24));
  std::string script = "@Gbands.bmp,";
  for (int page = 1; page <= 14; ++page) script += "@RPage " + std::to_string(page) + ".@E";
  story_.WriteScript(script);
  Launch();
  for (int i = 0; i < 10; ++i) {  // taps of 5 ms, far shorter than a frame
    x_.Press("Return", 5);
    SleepMs(120);
  }
  SleepMs(200);
  std::string tenPresses = ".";
  for (int i = 0; i < 10; ++i) tenPresses += " E .";
  EXPECT_EQ(DiffersFromReplay(tenPresses), 0) << "ten taps did not turn exactly ten pages";
  for (const char* key : {"Return", "space", "Down"}) {  // held as a hand does
    x_.Press(key);
    SleepMs(100);
  }
  SleepMs(200);
  EXPECT_EQ(DiffersFromReplay(tenPresses + " E . S . D ."), 0);
  const long long pressed = test::NowMs();
  EXPECT_EQ(Quit(), 0) << Log();
  EXPECT_LE(test::NowMs() - pressed, 1000);
}

TEST_F(Player, MissingScriptOrDisplayIsOneLineAndExit1) {
  Launch({}, /*waitForWindow=*/false);  // no DATA/Script.txt
  int status = -1;
  ASSERT_TRUE(player_.Wait(5000, &status));
  EXPECT_EQ(status, 1);
  std::string log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find("DATA/Script.txt"), std::string::npos) << log;
  EXPECT_FALSE(x_.WaitForWindow("Direct X", 200)) << "the window outlived the player";

  story_.WriteScript("page@E");
  ASSERT_TRUE(player_.Start({KS_PLAYER}, story_.root(), {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
                            story_.Path("player.log")));
  ASSERT_TRUE(player_.Wait(5000, &status)) << "the player runs on with nothing to show";
  EXPECT_EQ(status, 1);
  log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find("kamishibai: cannot open the display"), std::string::npos) << log;
}

// Sound goes to a file through SDL's disk audio driver: 44.1 kHz, 16-bit
// stereo, written at the pace it is played.
TEST_F(Player, MusicLoopsPastItsLengthAndStopsOnD) {
  story_.Write("tone.wav", test::WavBytes(200, 440));
  story_.WriteScript("@Mtone.wav,Music plays.@E@DNow it stops.@E");
  const std::string raw = story_.Path("out.raw");
  Launch({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", raw}});
  SleepMs(1500);
  x_.Press("Return");  // "@D"
  SleepMs(1000);
  EXPECT_EQ(Quit(), 0) << Log();

  std::ifstream in(raw, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(bytes.size() / 4, 44100u) << "less than a second of sound was written";
  std::vector<double> loud;  // loudness of each 50 ms
  for (size_t start = 0; start + 2205 <= bytes.size() / 4; start += 2205) {
    double sum = 0;
    for (size_t f = start; f < start + 2205; ++f) {
      int16_t left = 0;
      std::memcpy(&left, &bytes[f * 4], 2);
      sum += double(left) * left;
    }
    loud.push_back(std::sqrt(sum / 2205));
  }
  // The file lasts 200 ms; it was heard far longer: it looped. After "@D",
  // the last half second, it is silent.
  EXPECT_GE(std::count_if(loud.begin(), loud.end(), [](double l) { return l > 1000; }) * 50, 800);
  EXPECT_LT(*std::max_element(loud.end() - 10, loud.end()), 50);
}

}  // namespace
}  // namespace ks

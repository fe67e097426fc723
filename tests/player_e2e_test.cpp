// The real player in a real X server (Xvfb), driven by xdotool.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "bmp_writer.h"
#include "frame_support.h"
#include "x_session.h"

namespace ks {
namespace {

using test::Child;
using test::EncodeBmp;
using test::TempStory;
using test::XSession;

// Bands of colour behind the text, as in the golden pictures.
Image Bands() {
  static const uint32_t kColours[] = {0x203050, 0x6080C0, 0xE0E0F0, 0x402010, 0xC08040, 0x104020};
  Image image{640, 480, {}};
  for (int y = 0; y < 480; ++y) image.pixels.insert(image.pixels.end(), 640, kColours[y / 80]);
  return image;
}

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTools({"Xvfb", "xdotool", "xwd"})) GTEST_SKIP() << "Xvfb, xdotool and xwd are needed";
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
    test::SleepMs(300);
  }
  std::string Log() const {
    const std::vector<uint8_t> log = story_.Read("player.log");
    return std::string(log.begin(), log.end());
  }

  XSession x_;
  TempStory story_;
  Child player_;
};

TEST_F(Player, ScreenMatchesTheReplayAfterTheSameKeysAndEscapeQuits) {
  story_.Write("bands.bmp", EncodeBmp(Bands(), 24));
  story_.WriteScript("@Gbands.bmp,First page.\r\nEnter goes on.@E\r\n@RSecond page.@E\r\n@RThird.@E");
  Launch();
  for (const char* key : {"Return", "space", "Down"}) {
    x_.Press(key);
    test::SleepMs(100);
  }
  test::SleepMs(300);
  Image shown;
  std::string error;
  ASSERT_TRUE(x_.Screenshot(&shown, &error)) << error;

  Surface replay;
  ASSERT_TRUE(test::ReplayPicture(story_.root(), ". E . S . D . .", &replay, &error)) << error;
  ASSERT_EQ(shown.width, 640);
  ASSERT_EQ(shown.height, 480);
  int differ = 0;
  for (size_t i = 0; i < replay.pixels.size(); ++i) differ += (shown.pixels[i] & 0xFFFFFF) != replay.pixels[i];
  EXPECT_EQ(differ, 0) << "the window and the replay differ in " << differ << " pixels";

  const long long pressed = test::NowMs();
  x_.Run("xdotool keydown Escape");
  int status = -1;
  EXPECT_TRUE(player_.Wait(1000, &status)) << "still running a second after Escape";
  EXPECT_LE(test::NowMs() - pressed, 1000);
  x_.Run("xdotool keyup Escape");
  EXPECT_EQ(status, 0) << Log();
}

TEST_F(Player, MissingScriptIsOneLineAndExit1) {
  Launch({}, /*waitForWindow=*/false);  // no DATA/Script.txt
  int status = -1;
  ASSERT_TRUE(player_.Wait(5000, &status));
  EXPECT_EQ(status, 1);
  const std::string log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find("kamishibai: cannot read"), std::string::npos) << log;
  EXPECT_NE(log.find("DATA/Script.txt"), std::string::npos) << log;
  EXPECT_FALSE(x_.WaitForWindow("Direct X", 200)) << "the window outlived the player";
}

TEST_F(Player, NoDisplayIsOneLineAndExit1) {
  story_.WriteScript("page@E");
  ASSERT_TRUE(player_.Start({KS_PLAYER}, story_.root(), {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
                            story_.Path("player.log")));
  int status = -1;
  ASSERT_TRUE(player_.Wait(5000, &status)) << "the player runs on with nothing to show";
  EXPECT_EQ(status, 1);
  const std::string log = Log();
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
  test::SleepMs(1500);
  x_.Press("Return");  // "@D"
  test::SleepMs(1000);
  x_.Press("Escape");
  int status = -1;
  ASSERT_TRUE(player_.Wait(2000, &status));
  EXPECT_EQ(status, 0) << Log();

  std::ifstream in(raw, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const size_t frames = bytes.size() / 4;
  ASSERT_GT(frames, 44100u) << "less than a second of sound was written";
  // Loudness of each 50 ms.
  std::vector<double> loud;
  for (size_t start = 0; start + 2205 <= frames; start += 2205) {
    double sum = 0;
    for (size_t f = start; f < start + 2205; ++f) {
      int16_t left = 0;
      std::memcpy(&left, &bytes[f * 4], 2);
      sum += double(left) * left;
    }
    loud.push_back(std::sqrt(sum / 2205));
  }
  int audible = 0;
  for (double l : loud) audible += l > 1000;
  // The file lasts 200 ms; it was heard for far longer: it looped.
  EXPECT_GE(audible * 50, 800) << "audible for " << audible * 50 << " ms";
  // After "@D" it is silent: the last half second.
  for (size_t i = loud.size() - 10; i < loud.size(); ++i) EXPECT_LT(loud[i], 50) << "at " << i * 50 << " ms";
}

}  // namespace
}  // namespace ks

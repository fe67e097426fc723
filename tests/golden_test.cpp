// The look of each screen, checked pixel for pixel against tests/golden/*.png.
// When the look changes on purpose, regenerate them and review the pictures:
//   KS_UPDATE_GOLDEN=1 build/bin/frame_tests --gtest_filter='Golden*'
#include <cstdlib>
#include <map>

#include "bmp_writer.h"
#include "frame_support.h"
#include "platform/headless/png.h"

namespace ks {
namespace {

using test::EncodeBmp;

// Eight bands of colour, bright and dark, so white, black and green text all
// have something to stand against.
Image Bands() {
  static const uint32_t kColours[] = {0x203050, 0x6080C0, 0xE0E0F0, 0x402010,
                                      0xC08040, 0x104020, 0x80C090, 0x000000};
  Image image{640, 480, {}};
  for (int y = 0; y < 480; ++y) image.pixels.insert(image.pixels.end(), 640, kColours[y / 60]);
  return image;
}

// Shift-JIS, with CR LF line ends as stories are written.
const char kScript[] =
    "@Gbands.bmp,@R\x8f\x74\x82\xcc\x96\xe9\x81\x41\x8c\xc3\x82\xa2\x8e\x86\x8e\xc5\x8b\x8f\x82\xcc"
    "\x94\xa0\x82\xaa\x8a\x4a\x82\xad\x81\x42\r\n"                             // 春の夜、古い紙芝居の箱が開く。
    "\xca\xdd\xb6\xb8\xb6\xc5 ABC abc 123 &Prefix &&\r\n"                      // ﾊﾝｶｸｶﾅ, an underline, one "&"
    "\x8e\x4f\x8d\x73\x96\xda\x82\xcd\x82\xb1\x82\xb1\x82\xdc\x82\xc5\x81\x42"  // 三行目はここまで。
    "@E\r\n@R@H@C\x89\x45\x82\xcc\x93\xb9\x82\xd6,1\r\n"                      // 右の道へ
    "\x8d\xb6\x82\xcc\x93\xb9\x82\xd6,2\r\n@\r\n"                              // 左の道へ
    "@S1\r\n@Rright@E\r\n@S2\r\n@Rleft@E";

class Golden : public test::FrameTest {};

TEST_F(Golden, EveryScreenLooksAsItDid) {
  story_.Write("bands.bmp", EncodeBmp(Bands(), 24));
  Start(kScript);
  // Frame numbers after which each screen is shown; the keys in between open
  // the menu, save, load, go to the title and reach the choice list.
  const std::map<int, std::string> shots = {{1, "page"},           {5, "menu"},  {9, "saved"},
                                            {16, "loaded"},        {29, "title"}, {34, "choice"}};
  const std::string keys =
      ". S . D . U . E . E . S D . E . E . S D . D . D . D . E . E . E D .";
  std::vector<KeyToken> frames;
  std::string error;
  ASSERT_TRUE(ParseKeyTokens(keys, &frames, &error)) << error;
  const bool update = std::getenv("KS_UPDATE_GOLDEN") != nullptr;
  for (size_t i = 0; i < frames.size(); ++i) {
    platform_.SetKeys(frames[i]);
    const uint64_t before = platform_.processed();
    while (platform_.processed() == before) ASSERT_TRUE(MainLoopStep(state_, platform_));
    const auto shot = shots.find(int(i) + 1);
    if (shot == shots.end()) continue;
    SCOPED_TRACE(shot->second);
    const std::string path = std::string(KS_GOLDEN_DIR "/") + shot->second + ".png";
    if (update) {
      ASSERT_TRUE(WritePng(path, state_.display.primarySurface, &error)) << error;
      continue;
    }
    Image golden;
    ASSERT_TRUE(ReadPng(path, &golden, &error)) << error;
    ASSERT_EQ(golden.width, 640);
    ASSERT_EQ(golden.height, 480);
    int differ = 0;
    for (size_t p = 0; p < golden.pixels.size(); ++p) differ += golden.pixels[p] != state_.display.primarySurface.pixels[p];
    EXPECT_EQ(differ, 0) << "pixels differ from " << path;
  }
  EXPECT_EQ(state_.screen.uiMode, 2);
  EXPECT_EQ(state_.screen.cursor, 1);
}

}  // namespace
}  // namespace ks

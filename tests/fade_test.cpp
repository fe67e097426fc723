#include "present/fade.h"

#include <algorithm>

#include "test_support.h"

namespace ks {
namespace {

void Fill(Surface& s, uint32_t pixel) { std::fill(s.pixels.begin(), s.pixels.end(), pixel); }

bool All(const Surface& s, uint32_t pixel) {
  return std::all_of(s.pixels.begin(), s.pixels.end(), [&](uint32_t p) { return p == pixel; });
}

TEST(FadeStep, WhiteTakesTwoStepsAndByteThreeIsKept) {
  EngineState s;
  Fill(s.display.primarySurface, 0xABFFFFFF);  // byte 3 is 0xAB
  EXPECT_EQ(FadeStep(s.display.primarySurface), 1);
  EXPECT_TRUE(All(s.display.primarySurface, 0xAB696969));  // 255 - 150 = 105
  EXPECT_EQ(FadeStep(s.display.primarySurface), 0);
  EXPECT_TRUE(All(s.display.primarySurface, 0xAB000000));
}

TEST(FadeStep, DimScreenGoesBlackInOneStep) {
  EngineState s;
  Fill(s.display.primarySurface, 0x00969601);  // 150, 150, 1
  EXPECT_EQ(FadeStep(s.display.primarySurface), 0);
  EXPECT_TRUE(All(s.display.primarySurface, 0));
}

TEST(FadeStep, OneBrightByteAnywhereKeepsTheFadeGoing) {
  EngineState s;
  for (auto [x, y] : {std::pair{0, 0}, {639, 479}, {640 - 1, 0}, {0, 479}, {321, 17}}) {
    Fill(s.display.primarySurface, 0x00505050);
    s.display.primarySurface.Row(y)[x] = 0x00009700;  // a green of 151
    EXPECT_EQ(FadeStep(s.display.primarySurface), 1) << x << "," << y;
    EXPECT_EQ(s.display.primarySurface.Row(y)[x], 0x00000100u);
    EXPECT_EQ(s.display.primarySurface.Row(y == 0 ? 1 : 0)[x], 0u);
    EXPECT_EQ(FadeStep(s.display.primarySurface), 0);
  }
}

}  // namespace
}  // namespace ks

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "bmp_writer.h"
#include "platform/headless/png.h"
#include "present/background.h"
#include "present/bmp_decode.h"
#include "test_support.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::BmpCompression;
using test::BmpRows;
using test::EncodeBmp;
using test::PatternImage;
using test::SolidImage;
using test::TempStory;

Image Decode(const std::vector<uint8_t>& bytes, std::string* error) {
  Image image;
  if (!DecodeBmp(bytes.data(), bytes.size(), &image, error)) image.width = -1;
  return image;
}

// 37 x 23: odd sizes make row padding and nibble order show.
TEST(DecodeBmp, EveryDepthBothRowOrdersAndRle) {
  struct Case {
    int bits;
    int colours;
    BmpRows rows;
    BmpCompression compression;
  };
  const Case cases[] = {
      {1, 2, BmpRows::kBottomUp, BmpCompression::kNone},   {1, 2, BmpRows::kTopDown, BmpCompression::kNone},
      {4, 13, BmpRows::kBottomUp, BmpCompression::kNone},  {4, 13, BmpRows::kTopDown, BmpCompression::kNone},
      {8, 200, BmpRows::kBottomUp, BmpCompression::kNone}, {8, 200, BmpRows::kTopDown, BmpCompression::kNone},
      {24, 999, BmpRows::kBottomUp, BmpCompression::kNone}, {24, 999, BmpRows::kTopDown, BmpCompression::kNone},
      {32, 999, BmpRows::kBottomUp, BmpCompression::kNone}, {32, 999, BmpRows::kTopDown, BmpCompression::kNone},
      {4, 16, BmpRows::kBottomUp, BmpCompression::kRle},   {8, 256, BmpRows::kBottomUp, BmpCompression::kRle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, rows " << int(c.rows) << ", rle " << int(c.compression));
    const Image source = PatternImage(37, 23, c.colours);
    std::string error;
    const Image decoded = Decode(EncodeBmp(source, c.bits, c.rows, c.compression), &error);
    ASSERT_EQ(decoded.width, 37) << error;
    ASSERT_EQ(decoded.height, 23);
    EXPECT_EQ(decoded.pixels, source.pixels);
  }
}

TEST(DecodeBmp, RefusesHeadersThatClaimMoreThanTheFileHolds) {
  std::string error;
  // A 640 x 480 24-bit header with a single row of pixels behind it.
  std::vector<uint8_t> truncated = EncodeBmp(SolidImage(640, 480, 0x123456), 24);
  truncated.resize(54 + 640 * 3);
  EXPECT_EQ(Decode(truncated, &error).width, -1);
  EXPECT_NE(error.find("shorter"), std::string::npos) << error;

  // Three million by two million pixels claimed in a 60-byte file.
  std::vector<uint8_t> huge = EncodeBmp(SolidImage(1, 1, 0), 24);
  const uint32_t w = 3000000, h = 2000000;
  std::memcpy(huge.data() + 18, &w, 4);
  std::memcpy(huge.data() + 22, &h, 4);
  EXPECT_EQ(Decode(huge, &error).width, -1);
  EXPECT_NE(error.find("too large"), std::string::npos) << error;

  EXPECT_EQ(Decode({'G', 'I', 'F', '8', '9', 'a'}, &error).width, -1);
  std::vector<uint8_t> notBmp(100, 0);
  EXPECT_EQ(Decode(notBmp, &error).width, -1);
  EXPECT_EQ(Decode({}, &error).width, -1);
}

class Background : public ::testing::Test {
 protected:
  Background() { state_.storyRoot = story_.root(); }
  uint32_t At(int x, int y) { return state_.display.backgroundSurface.Row(y)[x]; }
  TempStory story_;
  EngineState state_;
};

TEST_F(Background, SmallerPictureCoversOnlyTheTopLeft) {
  story_.Write("full.bmp", EncodeBmp(SolidImage(640, 480, 0x0000FF), 24));
  story_.Write("quarter.bmp", EncodeBmp(SolidImage(320, 240, 0xFF0000), 8));
  ASSERT_TRUE(LoadBackground(state_, state_.display.backgroundSurface, "full.bmp"));
  ASSERT_TRUE(LoadBackground(state_, state_.display.backgroundSurface, "quarter.bmp"));
  EXPECT_EQ(At(0, 0), 0xFF0000u);
  EXPECT_EQ(At(319, 239), 0xFF0000u);
  EXPECT_EQ(At(320, 239), 0x0000FFu);
  EXPECT_EQ(At(319, 240), 0x0000FFu);
  EXPECT_EQ(At(639, 479), 0x0000FFu);
}

TEST_F(Background, LargerPictureIsCutAtTheEdges) {
  const Image big = PatternImage(700, 500, 999);
  story_.Write("big.bmp", EncodeBmp(big, 24));
  ASSERT_TRUE(LoadBackground(state_, state_.display.backgroundSurface, "big.bmp"));
  EXPECT_EQ(At(639, 0), big.pixels[639]);
  EXPECT_EQ(At(0, 479), big.pixels[479 * 700]);
  EXPECT_EQ(At(639, 479), big.pixels[479 * 700 + 639]);
}

TEST_F(Background, FileThatDoesNotLoadLeavesThePicture) {
  story_.Write("full.bmp", EncodeBmp(SolidImage(640, 480, 0x00FF00), 24));
  story_.Write("broken.bmp", "BM not really");
  ASSERT_TRUE(LoadBackground(state_, state_.display.backgroundSurface, "full.bmp"));
  const std::vector<uint32_t> before = state_.display.backgroundSurface.pixels;
  std::string error;
  EXPECT_FALSE(LoadBackground(state_, state_.display.backgroundSurface, "missing.bmp", &error));
  EXPECT_NE(error.find("missing.bmp"), std::string::npos) << error;
  EXPECT_FALSE(LoadBackground(state_, state_.display.backgroundSurface, "broken.bmp", &error));
  EXPECT_FALSE(LoadBackground(state_, state_.display.backgroundSurface, "", &error));  // the folder itself
  EXPECT_EQ(state_.display.backgroundSurface.pixels, before);
}

// The public BMP Suite corpus, read from the shared test data when present.
class BmpSuite : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Root() + "/refmap.tsv")) GTEST_SKIP() << "no bmpsuite at " << Root();
  }
  static std::string Root() { return KS_SHARED_TESTDATA "/bmpsuite"; }
  static std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

// A channel may differ by one in 16-bit files, where correct decoders round
// differently.
bool Matches(const Image& a, const Image& b, int tolerance) {
  if (a.width != b.width || a.height != b.height) return false;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    for (int shift : {0, 8, 16}) {
      if (std::abs(int((a.pixels[i] >> shift) & 0xFF) - int((b.pixels[i] >> shift) & 0xFF)) > tolerance) return false;
    }
  }
  return true;
}

TEST_F(BmpSuite, GoodFilesDecodeToTheirReference) {
  std::ifstream map(Root() + "/refmap.tsv");
  std::string line;
  std::vector<std::string> refused;
  int checked = 0;
  while (std::getline(map, line)) {
    std::istringstream fields(line);
    std::string file, kind, refs;
    std::getline(fields, file, '\t');
    std::getline(fields, kind, '\t');
    std::getline(fields, refs, '\t');
    if (kind != "g") continue;
    SCOPED_TRACE(file);
    std::string error;
    const Image decoded = Decode(Bytes(Root() + "/" + file), &error);
    if (decoded.width < 0) {
      refused.push_back(file);
      continue;
    }
    bool matched = false;
    std::istringstream alternatives(refs);
    for (std::string ref; std::getline(alternatives, ref, '|');) {
      Image reference;
      ASSERT_TRUE(ReadPng(Root() + "/ref/" + ref, &reference, &error)) << error;
      matched = matched || Matches(decoded, reference, file.find("rgb16") != std::string::npos ? 1 : 0);
    }
    EXPECT_TRUE(matched) << file << " does not match " << refs;
    ++checked;
  }
  EXPECT_EQ(checked, 26);
  // SDL's reader does not take 32-bit bitfields in this channel order.
  EXPECT_EQ(refused, std::vector<std::string>{"g/rgb32bf.bmp"});
}

TEST_F(BmpSuite, BadAndQuestionableFilesAreRefusedOrDecodedSafely) {
  int decoded = 0, refusedCount = 0;
  for (const char* folder : {"b", "q", "x"}) {
    for (const auto& entry : fs::directory_iterator(Root() + "/" + folder)) {
      SCOPED_TRACE(entry.path().string());
      std::string error;
      const Image image = Decode(Bytes(entry.path().string()), &error);
      if (image.width < 0) {
        EXPECT_FALSE(error.empty());
        ++refusedCount;
      } else {
        EXPECT_EQ(image.pixels.size(), size_t(image.width) * size_t(image.height));
        ++decoded;
      }
    }
  }
  EXPECT_GT(refusedCount, 0);
  EXPECT_GT(decoded, 0);
  // The 18 TB claim is refused by the header check, before SDL allocates.
  std::string error;
  EXPECT_EQ(Decode(Bytes(Root() + "/b/reallybig.bmp"), &error).width, -1);
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

}  // namespace
}  // namespace ks

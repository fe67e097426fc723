// Pictures: the fade, the bitmap decoder (and the BMP Suite when present), the loader.
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/sjis.h"
#include "read_png.h"
#include "present/background.h"
#include "present/fade.h"
#include "support.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::EncodeBmp;
using test::SolidImage;

TEST(FadeStep, EachByteLoses150OrGoesToZeroAndByteThreeIsKept) {
  Surface s(640, 480);
  struct Case { uint32_t from, after1; int result1; };
  for (const Case& c : {Case{0xABFFFFFF, 0xAB696969, 1}, {0x00969601, 0, 0}, {0x00979797, 0x00010101, 1}}) {
    std::fill(s.pixels.begin(), s.pixels.end(), c.from);
    EXPECT_EQ(FadeStep(s), c.result1);
    EXPECT_EQ(std::count(s.pixels.begin(), s.pixels.end(), c.after1), 640 * 480);
    EXPECT_EQ(FadeStep(s), 0);
    EXPECT_EQ(s.pixels[0] & 0x00FFFFFF, 0u);
  }
  for (auto [x, y] : {std::pair{0, 0}, {639, 479}, {639, 0}, {0, 479}, {321, 17}}) {  // one bright byte anywhere
    std::fill(s.pixels.begin(), s.pixels.end(), 0x00505050);
    s.Row(y)[x] = 0x00009700;
    EXPECT_EQ(FadeStep(s), 1) << x << "," << y;
  }
}

Image Decode(const std::vector<uint8_t>& bytes, std::string* error) {
  Image image;
  if (!DecodeBmp(bytes.data(), bytes.size(), &image, error)) image.width = -1;
  return image;
}

// 37 x 23: odd sizes make row padding and order show.
TEST(DecodeBmp, DepthsRowOrdersAndHeadersThatLie) {
  Image source{37, 23, {}};
  for (int i = 0; i < 37 * 23; ++i) source.pixels.push_back(uint32_t((i * 2654435761u) >> 8) % 200 * 0x010203);
  std::string error;
  // At 16 bits each 5-bit channel v comes back as v * 255 / 31, rounded down.
  Image five = source;
  for (uint32_t& p : five.pixels) {
    for (int shift : {0, 8, 16}) {
      const uint32_t v = (p >> (shift + 3)) & 0x1F;
      p = (p & ~(0xFFu << shift)) | (v * 255 / 31) << shift;
    }
  }
  for (int bits : {8, 16, 24, 32}) {
    for (bool topDown : {false, true}) {
      const Image decoded = Decode(EncodeBmp(source, bits, topDown), &error);
      EXPECT_EQ(decoded.pixels, (bits == 16 ? five : source).pixels) << bits << " bits, top-down " << topDown << ": " << error;
    }
  }
  std::vector<uint8_t> truncated = EncodeBmp(SolidImage(640, 480, 0x123456), 24);
  truncated.resize(54 + 640 * 3);
  EXPECT_EQ(Decode(truncated, &error).width, -1);
  EXPECT_NE(error.find("shorter"), std::string::npos) << error;
  std::vector<uint8_t> huge = EncodeBmp(SolidImage(1, 1, 0), 24);
  const uint32_t w = 3000000, h = 2000000;  // claimed in a 60-byte file
  std::memcpy(huge.data() + 18, &w, 4);
  std::memcpy(huge.data() + 22, &h, 4);
  EXPECT_EQ(Decode(huge, &error).width, -1);
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
  std::vector<uint8_t> empty = EncodeBmp(SolidImage(1, 1, 0), 24);
  std::memset(empty.data() + 18, 0, 4);  // no width
  for (const std::vector<uint8_t>& bad : {empty, std::vector<uint8_t>{'G', 'I', 'F'}, std::vector<uint8_t>(100)}) {
    EXPECT_EQ(Decode(bad, &error).width, -1);
  }
}

TEST(Background, PicturesAreDrawnUnscaledAtTheTopLeftOrNotAtAll) {
  test::TempStory story;
  EngineState state;
  state.storyRoot = story.root();
  Surface& bg = state.display.backgroundSurface;
  story.Write("full.bmp", EncodeBmp(SolidImage(640, 480, 0x0000FF), 24));
  story.Write("quarter.bmp", EncodeBmp(SolidImage(320, 240, 0xFF0000), 8));
  Image big{700, 500, {}};
  for (int i = 0; i < 700 * 500; ++i) big.pixels.push_back(uint32_t(i) & 0xFFFFFF);
  story.Write("big.bmp", EncodeBmp(big, 24));
  story.Write("broken.bmp", "BM not really");
  ASSERT_TRUE(LoadBackground(state, bg, "full.bmp"));
  ASSERT_TRUE(LoadBackground(state, bg, "quarter.bmp"));
  EXPECT_EQ(std::vector<uint32_t>({bg.Row(0)[0], bg.Row(239)[319], bg.Row(239)[320], bg.Row(240)[319]}),
            std::vector<uint32_t>({0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF}));
  const std::vector<uint32_t> before = bg.pixels;
  std::string error;
  for (const char* name : {"missing.bmp", "broken.bmp", ""}) EXPECT_FALSE(LoadBackground(state, bg, name, &error));
  EXPECT_EQ(bg.pixels, before);
  ASSERT_TRUE(LoadBackground(state, bg, "big.bmp"));  // cut at the edges
  EXPECT_EQ(bg.Row(479)[639], big.pixels[479 * 700 + 639]);
  // A picture read ahead (while the display opens) is taken only for that file unchanged.
  ASSERT_TRUE(ReadPictureAhead(state, "full.bmp"));
  story.Write("full.bmp", EncodeBmp(SolidImage(640, 480, 0x00FF00), 8));  // changed meanwhile
  ASSERT_TRUE(LoadBackground(state, bg, "full.bmp"));
  EXPECT_EQ(bg.Row(479)[639], 0x00FF00u);
  ASSERT_TRUE(ReadPictureAhead(state, "quarter.bmp"));
  ASSERT_TRUE(LoadBackground(state, bg, "quarter.bmp"));
  EXPECT_EQ(std::vector<uint32_t>({bg.Row(0)[0], bg.Row(479)[639]}), std::vector<uint32_t>({0xFF0000, 0x00FF00}));
  ASSERT_TRUE(ReadPictureAhead(state, "quarter.bmp"));
  ASSERT_TRUE(LoadBackground(state, bg, "full.bmp"));  // another file: read, and the guess let go
  EXPECT_TRUE(bg.Row(0)[0] == 0x00FF00u && state.display.aheadPath.empty() && state.display.aheadPicture.pixels.empty());
  EXPECT_FALSE(ReadPictureAhead(state, "missing.bmp"));
}

// The BMP Suite, when present; 16-bit files may differ by one, as decoders round differently.
TEST(BmpSuite, GoodFilesMatchTheirReferenceAndBadOnesAreRefusedOrDecodedSafely) {
  const std::string root = KS_SHARED_TESTDATA "/bmpsuite";
  if (!fs::exists(root + "/refmap.tsv")) GTEST_SKIP() << "no bmpsuite at " << root;
  auto bytes = [](const std::string& path) { const std::string b = test::ReadFile(path); return std::vector<uint8_t>(b.begin(), b.end()); };
  auto near = [](const Image& a, const Image& b, int tolerance) {
    bool same = a.width == b.width && a.height == b.height;
    for (size_t i = 0; same && i < a.pixels.size() * 3; ++i) {
      same = std::abs(int((a.pixels[i / 3] >> (i % 3 * 8)) & 0xFF) - int((b.pixels[i / 3] >> (i % 3 * 8)) & 0xFF)) <= tolerance;
    }
    return same;
  };
  std::ifstream map(root + "/refmap.tsv");
  std::vector<std::string> refused;
  int matched = 0;
  for (std::string line; std::getline(map, line);) {
    std::istringstream fields(line);
    std::string file, kind, refs, error;
    if (!std::getline(fields, file, '\t') || !std::getline(fields, kind, '\t') || kind != "g") continue;
    std::getline(fields, refs, '\t');
    const Image decoded = Decode(bytes(root + "/" + file), &error);
    if (decoded.width < 0) refused.push_back(file);
    std::istringstream alternatives(refs);
    bool close = false;
    for (std::string ref; decoded.width >= 0 && !close && std::getline(alternatives, ref, '|');) {
      Image reference;
      ASSERT_TRUE(test::ReadPng(root + "/ref/" + ref, &reference, &error)) << error;
      close = near(decoded, reference, file.find("rgb16") != std::string::npos);
    }
    matched += close;
  }
  EXPECT_EQ(matched, 26);
  EXPECT_EQ(refused, std::vector<std::string>{"g/rgb32bf.bmp"});  // SDL's reader does not take it
  int decoded = 0, refusedBad = 0;
  for (const char* folder : {"b", "q", "x"}) {
    for (const auto& entry : fs::directory_iterator(root + "/" + folder)) {
      std::string error;
      const Image image = Decode(bytes(entry.path().string()), &error);
      (image.width < 0 ? refusedBad : decoded)++;
      EXPECT_TRUE(image.width < 0 || image.pixels.size() == size_t(image.width) * size_t(image.height));
    }
  }
  EXPECT_TRUE(refusedBad > 0 && decoded > 0);
  std::string error;  // the 18 TB claim is refused before anything is allocated
  EXPECT_EQ(Decode(bytes(root + "/b/reallybig.bmp"), &error).width, -1);
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

// iconv converting `bytes` whole; false when it cannot.
bool Iconv(const char* to, const char* from, const std::string& bytes, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  std::string buffer(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  char* at = buffer.data();
  size_t inLeft = bytes.size(), outLeft = buffer.size();
  const bool ok = iconv(cd, &in, &inLeft, &at, &outLeft) != size_t(-1) && inLeft == 0;
  iconv_close(cd);
  *out = buffer.substr(0, buffer.size() - outLeft);
  return ok;
}

// The CP932 table reads every code, and converts names and messages, as iconv does.
TEST(Cp932Table, DecodesAsIconvDoes) {
  for (uint32_t code = 1; code <= 0xFFFF; ++code) {
    std::string bytes, utf32;
    if (code > 0xFF) bytes += char(code >> 8);
    bytes += char(code & 0xFF);
    const bool one = Iconv("UTF-32LE", "CP932", bytes, &utf32) && utf32.size() == 4;
    uint32_t expected = 0;
    if (one) std::memcpy(&expected, utf32.data(), 4);
    ASSERT_EQ(Cp932ToUnicode(uint16_t(code)), expected) << std::hex << code;
  }
  for (const std::string& text : std::vector<std::string>{"DATA\\\x83\x5C\x81\x5B\x83\x58.bmp", "\x82\xA0\x82", "\x82\xA0x\x8E\x9A", "\xA6\xDD\x80",
                                 "\x81\x7F\xFD", std::string("a\0b", 3), "\xEF\xBD\xB1\xE3\x81\x82\xE2\x91\xA0",
                                 "\xED\xA0\x80", "\xC0\xAF", "\xF0\x9F\x98\x80", "\xE3\x81"}) {
    std::string ours, theirs;
    EXPECT_EQ(Cp932ToUtf8(text, &ours), Iconv("UTF-8", "CP932", text, &theirs)) << text;
    if (Cp932ToUtf8(text, &ours)) EXPECT_EQ(ours, theirs);
    EXPECT_EQ(Utf8ToCp932(text, &ours), Iconv("CP932", "UTF-8", text, &theirs)) << text;
    if (Utf8ToCp932(text, &ours)) EXPECT_EQ(ours, theirs);
    EXPECT_EQ(IsUtf8(text), Iconv("UTF-8", "UTF-8", text, &theirs)) << text;
  }
}

}  // namespace
}  // namespace ks

// Writes the CP932 <-> Unicode table the core decodes with, as the build
// machine's iconv knows it: a C++ source of a decoding array indexed by the
// code and a sorted array for encoding. Run by the
// build (src/CMakeLists.txt); the player itself never calls iconv.
//   make_cp932_table OUTPUT
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// The Unicode code point of one CP932 code (one byte when below 0x100), or 0
// when iconv reads it as no single character.
uint32_t Decode(iconv_t cd, unsigned code) {
  char in[2];
  size_t inLeft = 0;
  if (code > 0xFF) in[inLeft++] = char(code >> 8);
  in[inLeft++] = char(code & 0xFF);
  unsigned char out[4];
  char* inPtr = in;
  char* outPtr = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0 || outLeft != 0) return 0;
  return uint32_t(out[0]) | (uint32_t(out[1]) << 8) | (uint32_t(out[2]) << 16) | (uint32_t(out[3]) << 24);
}

// The CP932 code iconv writes for `codePoint`, or -1 when it has none.
long Encode(iconv_t cd, uint32_t codePoint) {
  unsigned char in[4] = {uint8_t(codePoint), uint8_t(codePoint >> 8), uint8_t(codePoint >> 16), 0};
  char out[4];
  char* inPtr = reinterpret_cast<char*>(in);
  char* outPtr = out;
  size_t inLeft = sizeof in, outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0) return -1;
  const size_t n = sizeof out - outLeft;
  if (n == 1) return uint8_t(out[0]);
  if (n == 2) return (long(uint8_t(out[0])) << 8) | uint8_t(out[1]);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  iconv_t decode = iconv_open("UTF-32LE", "CP932");
  iconv_t encode = iconv_open("CP932", "UTF-32LE");
  if (decode == reinterpret_cast<iconv_t>(-1) || encode == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "make_cp932_table: this iconv has no CP932\n");
    return 1;
  }
  // Every code CP932 decodes lands in the Basic Multilingual Plane, so one
  // 16-bit entry a code holds it.
  std::vector<uint16_t> toUnicode(0x10000);
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const uint32_t u = Decode(decode, code);
    if (u > 0xFFFF) {
      std::fprintf(stderr, "make_cp932_table: CP932 %X decodes outside 16 bits\n", code);
      return 1;
    }
    toUnicode[code] = uint16_t(u);
  }
  std::map<uint32_t, unsigned> fromUnicode;
  for (uint32_t u = 1; u <= 0xFFFF; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    if (const long code = Encode(encode, u); code >= 0) fromUnicode[u] = unsigned(code);
  }
  FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fprintf(out, "// Made by tools/make_cp932_table.cpp from iconv's CP932. Do not edit.\n"
                    "#include \"core/cp932_table.h\"\n\nnamespace ks {\n\n"
                    "const uint16_t kCp932ToUnicode[0x10000] = {\n");
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    std::fprintf(out, "0x%X,%s", toUnicode[code], code % 16 == 15 ? "\n" : "");
  }
  std::fprintf(out, "};\n\nconst Cp932Pair kUnicodeToCp932[] = {\n");
  for (const auto& [u, code] : fromUnicode) std::fprintf(out, "{0x%X,0x%X},\n", u, code);
  std::fprintf(out, "};\nconst size_t kUnicodeToCp932Count = %zu;\n\n}  // namespace ks\n", fromUnicode.size());
  iconv_close(decode);
  iconv_close(encode);
  return std::fclose(out) == 0 ? 0 : 1;
}

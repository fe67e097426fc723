// A font is asked of fontconfig by family (IPAGothic first), language
// (Japanese), weight and pitch; whatever it answers must cover kana and kanji
// or the font is refused. The em is sized so that ascent plus descent fill the
// cell, as a 16-pixel font cell is drawn in these stories: a full-width character
// is then 16 pixels wide in IPAGothic and a half-width one 8. Fontconfig says
// when the weight asked for does not exist and must be made up; the outline is
// then widened by a pixel before it is rasterised, keeping the advance, so a
// fixed-pitch font stays fixed.
//
// Script bytes stay Shift-JIS everywhere else; a character is decoded with
// iconv's CP932 only when its glyph is first needed.
#include "present/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <iconv.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "core/engine_state.h"
#include "core/file_io.h"
#include "core/xdg.h"

namespace ks {

struct Font::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  bool embolden = false;
  iconv_t cp932 = reinterpret_cast<iconv_t>(-1);

  ~Impl() {
    if (cp932 != reinterpret_cast<iconv_t>(-1)) iconv_close(cp932);
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }

  // The Unicode code point of a CP932 character, or 0 when it is none.
  uint32_t Decode(uint16_t code) {
    char in[2];
    size_t inLeft = 0;
    if (code > 0xFF) in[inLeft++] = char(code >> 8);
    in[inLeft++] = char(code & 0xFF);
    unsigned char out[4];
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof out;
    iconv(cp932, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cp932, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0 || outLeft != 0) return 0;
    return uint32_t(out[0]) | (uint32_t(out[1]) << 8) | (uint32_t(out[2]) << 16) | (uint32_t(out[3]) << 24);
  }
};

namespace {

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

struct Match {
  std::string file;
  int index = 0;
  bool embolden = false;
};

// Fontconfig's configuration, loaded on first use and let go at exit (its
// blocks are linked by offsets, so one left alive looks like a leak).
struct FontconfigConfig {
  FcConfig* config = FcInitLoadConfigAndFonts();
  ~FontconfigConfig() {
    if (config) FcConfigDestroy(config);
  }
};

// Asks fontconfig for the best Japanese font for `request`.
bool FindFont(const FontRequest& request, Match* match, std::string* error) {
  static FontconfigConfig loaded;
  FcConfig* config = loaded.config;
  if (!config) return Fail(error, "fontconfig could not be set up");
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("IPAGothic"));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddInteger(pattern, FC_WEIGHT, request.heaviest ? FC_WEIGHT_BLACK : FC_WEIGHT_REGULAR);
  if (request.fixedPitch) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  FcChar8* file = nullptr;
  FcCharSet* chars = nullptr;
  bool ok = found && FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch &&
            FcPatternGetCharSet(found, FC_CHARSET, 0, &chars) == FcResultMatch &&
            FcCharSetHasChar(chars, 0x3042) && FcCharSetHasChar(chars, 0x30A2) && FcCharSetHasChar(chars, 0x6F22);
  if (ok) {
    match->file = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(found, FC_INDEX, 0, &match->index);
    FcBool embolden = FcFalse;
    FcPatternGetBool(found, FC_EMBOLDEN, 0, &embolden);
    match->embolden = embolden == FcTrue;
  }
  if (found) FcPatternDestroy(found);
  if (!ok) return Fail(error, "no Japanese font found (install the Debian package fonts-ipafont-gothic)");
  return true;
}

// Fontconfig reads some sixty files before it answers. Its answers are kept
// in $XDG_CACHE_HOME/kamishibai/fonts, one line a request, and used while the
// font file and fontconfig's own cache folders are as they were.
// "" without a home folder: nothing is cached.
std::string CacheFile() {
  const std::string folder = CacheFolder();
  return folder.empty() ? "" : folder + "/fonts";
}

// What the answers depend on: the fontconfig setup asked for, and the times
// the font folders last changed.
std::string FontconfigStamp() {
  std::string stamp;
  for (const char* name : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT"}) {
    const char* value = std::getenv(name);
    stamp += std::string(value ? value : "") + ":";
  }
  for (const char* folder : {"/etc/fonts", "/etc/fonts/conf.d", "/var/cache/fontconfig", "/usr/share/fonts"}) {
    struct stat info {};
    stat(folder, &info);
    stamp += std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + ":";
  }
  return stamp;
}

std::string RequestKey(const FontRequest& request) {
  return std::to_string(request.cellHeight) + (request.heaviest ? "h" : "r") + (request.fixedPitch ? "f" : "p");
}

bool FromCache(const FontRequest& request, Match* match) {
  std::ifstream in(CacheFile());
  std::string stamp;
  if (!std::getline(in, stamp) || stamp != FontconfigStamp()) return false;
  for (std::string key, file; in >> key >> match->index >> match->embolden >> std::quoted(file);) {
    if (key != RequestKey(request)) continue;
    match->file = file;
    return access(file.c_str(), R_OK) == 0;
  }
  return false;
}

void ToCache(const FontRequest& request, const Match& match) {
  const std::string path = CacheFile();
  if (path.empty()) return;
  std::ifstream in(path);
  std::string stamp, text;
  const std::string now = FontconfigStamp();
  if (std::getline(in, stamp) && stamp == now) {
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(RequestKey(request) + " ", 0) != 0) text += line + "\n";
    }
  }
  std::ostringstream entry;
  entry << RequestKey(request) << " " << match.index << " " << match.embolden << " " << std::quoted(match.file) << "\n";
  const std::string all = now + "\n" + text + entry.str();
  MakeFolders(path.substr(0, path.rfind('/')));
  std::string ignored;
  ReplaceFile(path, reinterpret_cast<const uint8_t*>(all.data()), all.size(), &ignored);
}

}  // namespace

Font::Font(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Font::~Font() = default;

std::unique_ptr<Font> Font::Open(const FontRequest& request, std::string* error) {
  Match match;
  if (!FromCache(request, &match)) {
    if (!FindFont(request, &match, error)) return nullptr;
    ToCache(request, match);
  }
  auto impl = std::make_unique<Impl>();
  impl->embolden = request.heaviest && match.embolden;
  const std::string cannot = "cannot open the font " + match.file;
  if (FT_Init_FreeType(&impl->library) != 0) return Fail(error, cannot + ": FreeType failed"), nullptr;
  if (FT_New_Face(impl->library, match.file.c_str(), match.index, &impl->face) != 0 ||
      !FT_IS_SCALABLE(impl->face)) {
    return Fail(error, cannot), nullptr;
  }
  impl->cp932 = iconv_open("UTF-32LE", "CP932");
  if (impl->cp932 == reinterpret_cast<iconv_t>(-1)) {
    return Fail(error, "iconv cannot decode CP932 on this system"), nullptr;
  }
  FT_Face face = impl->face;
  double ascent = face->ascender, descent = -face->descender;
  if (ascent <= 0 || ascent + descent <= 0) ascent = face->units_per_EM * 0.88, descent = face->units_per_EM * 0.12;
  const double emPixels = request.cellHeight * face->units_per_EM / (ascent + descent);
  FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(emPixels * 64)), 72, 72);

  std::unique_ptr<Font> font(new Font(std::move(impl)));
  font->cellHeight_ = request.cellHeight;
  font->ascent_ = int(std::lround(request.cellHeight * ascent / (ascent + descent)));
  return font;
}

const Glyph& Font::GlyphFor(uint16_t code) {
  auto& row = drawn_[code >> 8];
  if (!row) row = std::make_unique<std::array<const Glyph*, 256>>();
  const Glyph*& glyph = (*row)[code & 0xFF];
  if (!glyph) glyph = &Render(code);
  return *glyph;
}

const Glyph& Font::Render(uint16_t code) {
  Glyph glyph;
  FT_Face face = impl_->face;
  const uint32_t codePoint = impl_->Decode(code);
  const FT_UInt index = codePoint ? FT_Get_Char_Index(face, codePoint) : 0;
  if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO) == 0) {
    FT_GlyphSlot slot = face->glyph;
    glyph.advance = int((slot->advance.x + 32) >> 6);
    if (impl_->embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_Outline_EmboldenXY(&slot->outline, 64, 0);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0) {
      const FT_Bitmap& bitmap = slot->bitmap;
      glyph.left = slot->bitmap_left;
      glyph.top = slot->bitmap_top;
      glyph.width = int(bitmap.width);
      glyph.height = int(bitmap.rows);
      glyph.mask.resize(size_t(glyph.width) * size_t(glyph.height));
      for (int y = 0; y < glyph.height; ++y) {
        const unsigned char* row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
        for (int x = 0; x < glyph.width; ++x) {
          glyph.mask[size_t(y) * size_t(glyph.width) + size_t(x)] = (row[x / 8] >> (7 - x % 8)) & 1;
        }
      }
    }
  }
  glyphs_.push_back(std::move(glyph));
  return glyphs_.back();
}

// Here, where a Font is a complete type, so the record can own its fonts.
EngineState::EngineState() = default;
EngineState::~EngineState() = default;

bool OpenFonts(FontState& fonts, std::string* error) {
  std::unique_ptr<Font> menu = Font::Open({16, /*heaviest=*/true, /*fixedPitch=*/true}, error);
  std::unique_ptr<Font> page = menu ? Font::Open({16, /*heaviest=*/false, /*fixedPitch=*/false}, error) : nullptr;
  if (!page) return false;
  fonts.menuFont = std::move(menu);
  fonts.pageFont = std::move(page);
  return true;
}

}  // namespace ks

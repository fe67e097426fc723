// A font comes from the machine as the bytes of its file (the desktop asks
// fontconfig for it). The em is sized so that ascent plus descent fill the
// cell, as a 16-pixel font cell is drawn in these stories: a full-width
// character is then 16 pixels wide in IPAGothic and a half-width one 8. When
// the weight asked for does not exist and must be made up, the outline is
// widened by a pixel before it is rasterised, keeping the advance, so a
// fixed-pitch font stays fixed.
//
// The menu's font and the page's are usually one file (IPAGothic for both,
// the menu's made heavier): they then share one FreeType face, the file
// mapped and its tables read once.
//
// Script bytes stay Shift-JIS everywhere else; a character is decoded with
// the CP932 table only when its glyph is first needed.
#include "present/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>

#include "core/engine_state.h"
#include "core/machine.h"
#include "core/sjis.h"

namespace ks {

// One opened font file, shared by the fonts drawn from it.
struct Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  FontFile file;  // the bytes FreeType reads from
  FT_F26Dot6 size = 0;  // the character size the face is set to

  ~Face() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

struct Font::Impl {
  std::shared_ptr<Face> face;
  FT_F26Dot6 size = 0;  // this font's character size
  bool embolden = false;
};

namespace {

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

Font::Font(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Font::~Font() = default;

std::unique_ptr<Font> Font::Open(const FontRequest& request, std::string* error, const Font* sameFile) {
  FontFile file;
  if (!TheMachine().FindFont(request, &file, error)) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->embolden = request.heaviest && file.embolden;
  if (sameFile && sameFile->impl_->face->file.name == file.name && sameFile->impl_->face->file.index == file.index) {
    impl->face = sameFile->impl_->face;  // this font's own mapping of the file goes with `file`
  } else {
    impl->face = std::make_shared<Face>();
    Face& opened = *impl->face;
    opened.file = std::move(file);
    const FontFile& bytes = opened.file;
    const std::string cannot = "cannot open the font " + bytes.name;
    if (FT_Init_FreeType(&opened.library) != 0) return Fail(error, cannot + ": FreeType failed"), nullptr;
    if (FT_New_Memory_Face(opened.library, bytes.bytes, FT_Long(bytes.size), bytes.index, &opened.face) != 0 ||
        !FT_IS_SCALABLE(opened.face)) {
      return Fail(error, cannot), nullptr;
    }
  }
  FT_Face face = impl->face->face;
  double ascent = face->ascender, descent = -face->descender;
  if (ascent <= 0 || ascent + descent <= 0) ascent = face->units_per_EM * 0.88, descent = face->units_per_EM * 0.12;
  const double emPixels = request.cellHeight * face->units_per_EM / (ascent + descent);
  impl->size = FT_F26Dot6(std::lround(emPixels * 64));

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
  FT_Face face = impl_->face->face;
  if (impl_->face->size != impl_->size) {  // a face shared with a font of another size
    FT_Set_Char_Size(face, 0, impl_->size, 72, 72);
    impl_->face->size = impl_->size;
  }
  const uint32_t codePoint = Cp932ToUnicode(code);
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
  std::unique_ptr<Font> page =
      menu ? Font::Open({16, /*heaviest=*/false, /*fixedPitch=*/false}, error, menu.get()) : nullptr;
  if (!page) return false;
  fonts.menuFont = std::move(menu);
  fonts.pageFont = std::move(page);
  return true;
}

}  // namespace ks

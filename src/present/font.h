// Japanese fonts for the page, the notices and the menu: found through
// fontconfig, rasterised by FreeType without a window, one glyph per code
// page 932 character, cached as it is first drawn.
//
// Glyphs are crisp (one bit a pixel, hinted for the grid): 16-pixel Japanese
// text reads sharper without grey fringes over bright pictures, and a frame is
// then the same bytes on every machine with the same font, which the golden
// pictures of the tests rely on.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/machine.h"

namespace ks {

// One rendered character: a coverage mask (1 = ink) placed relative to the
// pen position on the baseline.
struct Glyph {
  int left = 0;  // from the pen to the mask's first column
  int top = 0;   // from the baseline up to the mask's first row
  int width = 0;
  int height = 0;
  int advance = 0;
  std::vector<uint8_t> mask;  // width * height, row by row
};

class Font {
 public:
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Finds the Japanese font that best answers `request` and opens it. Returns
  // null with a reason when there is no font that covers Japanese. When the
  // file is the one `sameFile` was opened from, the two share its face.
  static std::unique_ptr<Font> Open(const FontRequest& request, std::string* error, const Font* sameFile = nullptr);

  // The glyph of a code page 932 character: one byte, or a lead byte and its
  // trail byte as (lead << 8) | trail. Bytes that are not a character get the
  // font's box for a missing glyph.
  const Glyph& GlyphFor(uint16_t code);

  int cellHeight() const { return cellHeight_; }
  int ascent() const { return ascent_; }  // from the cell's top to the baseline

 private:
  struct Impl;
  explicit Font(std::unique_ptr<Impl> impl);
  const Glyph& Render(uint16_t code);

  std::unique_ptr<Impl> impl_;
  int cellHeight_ = 16;
  int ascent_ = 14;
  // code -> the glyph drawn for it, by the code's high byte then its low
  // byte; a row is made when a character of it is first drawn.
  std::array<std::unique_ptr<std::array<const Glyph*, 256>>, 256> drawn_;
  std::deque<Glyph> glyphs_;  // a deque: references stay valid as it grows
};

struct FontState;

// Opens the player's two fonts into `fonts`: the menu's (16 pixels, the
// heaviest weight, fixed pitch) and the page's (16 pixels, regular). Returns
// false with a reason when there is no Japanese font.
bool OpenFonts(FontState& fonts, std::string* error);

}  // namespace ks

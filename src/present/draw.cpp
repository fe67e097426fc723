// Text is walked byte by byte as code page 932: a lead byte followed by a
// valid trail byte is one character, anything else one byte. Each character's
// glyph is drawn as a one-bit mask at the pen on the baseline (the cell's top
// plus the font's ascent), and the pen moves on by its advance.
#include "present/draw.h"

#include <algorithm>
#include <cstring>

#include "core/sjis.h"

namespace ks {
namespace {

struct Character {
  uint16_t code;
  size_t bytes;
};

constexpr bool IsTrailByte(uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// The character at text[i]; i < length and text[i] is not NUL.
Character CharacterAt(const char* text, size_t i, size_t length) {
  const auto b = uint8_t(text[i]);
  if (IsSjisLeadByte(b) && i + 1 < length && IsTrailByte(uint8_t(text[i + 1]))) {
    return {uint16_t((b << 8) | uint8_t(text[i + 1])), 2};
  }
  return {b, 1};
}

void DrawGlyph(Surface& surface, const Glyph& glyph, int penX, int baseline, Color color, const Rect& clip) {
  const uint32_t pixel = color.Pixel();
  for (int gy = 0; gy < glyph.height; ++gy) {
    const int y = baseline - glyph.top + gy;
    if (y < clip.top || y >= clip.bottom) continue;
    uint32_t* row = surface.Row(y);
    const uint8_t* mask = glyph.mask.data() + size_t(gy) * size_t(glyph.width);
    for (int gx = 0; gx < glyph.width; ++gx) {
      const int x = penX + glyph.left + gx;
      if (mask[gx] && x >= clip.left && x < clip.right) row[x] = pixel;
    }
  }
}

Rect Intersect(const Rect& a, const Surface& s) {
  return {std::max(a.left, 0), std::max(a.top, 0), std::min(a.right, s.width), std::min(a.bottom, s.height)};
}

}  // namespace

void CopySurface(const Surface& from, Surface& to) {
  std::memcpy(to.pixels.data(), from.pixels.data(), std::min(from.pixels.size(), to.pixels.size()) * sizeof(uint32_t));
}

// A pixel belongs to the box when its centre lies inside the rounded shape;
// it is outline when one of its four neighbours does not.
void RoundRect(Surface& surface, const Rect& box) {
  const int w = box.right - box.left, h = box.bottom - box.top;
  if (w <= 0 || h <= 0) return;
  const double rx = std::min(10.0, w / 2.0), ry = std::min(10.0, h / 2.0);
  auto inside = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= w || y >= h) return false;
    const double px = x + 0.5, py = y + 0.5;
    const double cx = std::clamp(px, rx, w - rx), cy = std::clamp(py, ry, h - ry);
    const double dx = (px - cx) / rx, dy = (py - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
  };
  const Rect clip = Intersect(box, surface);
  for (int y = clip.top; y < clip.bottom; ++y) {
    uint32_t* row = surface.Row(y);
    for (int x = clip.left; x < clip.right; ++x) {
      const int bx = x - box.left, by = y - box.top;
      if (!inside(bx, by)) continue;
      const bool edge = !inside(bx - 1, by) || !inside(bx + 1, by) || !inside(bx, by - 1) || !inside(bx, by + 1);
      row[x] = edge ? kBlack.Pixel() : kWhite.Pixel();
    }
  }
}

void FillRect(Surface& surface, const Rect& box, Color color) {
  const Rect clip = Intersect(box, surface);
  if (clip.left >= clip.right) return;
  for (int y = clip.top; y < clip.bottom; ++y) std::fill(surface.Row(y) + clip.left, surface.Row(y) + clip.right, color.Pixel());
}

namespace {

// Calls `visit(glyph, x, lineTop, underline)` for each character of one line
// of text drawn from (x, y); returns the x just right of the text.
template <typename Visit>
int WalkLine(Font& font, int x, int y, const char* text, size_t length, Visit visit) {
  for (size_t i = 0; i < length && text[i] != '\0';) {
    const Character c = CharacterAt(text, i, length);
    const Glyph& glyph = font.GlyphFor(c.code);
    visit(glyph, x, y, false);
    x += glyph.advance;
    i += c.bytes;
  }
  return x;
}

// Calls `visit` for each character of text laid out in `box` as the page
// is, down to `bottom`.
template <typename Visit>
void WalkPage(Font& font, const char* text, size_t length, const Rect& box, int bottom, Visit visit) {
  int x = box.left;
  int lineTop = box.top;
  auto newLine = [&] {
    x = box.left;
    lineTop += font.cellHeight();
  };
  size_t i = 0;
  while (i < length && text[i] != '\0' && lineTop < bottom) {
    if (text[i] == '\r') {
      ++i;
      if (i < length && text[i] == '\n') ++i;
      newLine();
      continue;
    }
    if (text[i] == '\n') {
      ++i;
      newLine();
      continue;
    }
    bool underline = false;
    if (text[i] == '&') {  // "&x" underlines x; "&&" is one "&"
      ++i;
      if (i >= length || text[i] == '\0') break;
      if (text[i] == '\r' || text[i] == '\n') continue;
      underline = text[i] != '&';
    }
    const Character c = CharacterAt(text, i, length);
    const Glyph& glyph = font.GlyphFor(c.code);
    visit(glyph, x, lineTop, underline);
    x += glyph.advance;
    i += c.bytes;
  }
}

// Darkens `box` to three eighths, cut at `clip`: white text stands out on
// the brightest picture, and the picture still shows through.
void Shade(Surface& surface, const Rect& box, const Rect& clip) {
  const Rect cut{std::max(box.left, clip.left), std::max(box.top, clip.top), std::min(box.right, clip.right),
                 std::min(box.bottom, clip.bottom)};
  for (int y = cut.top; y < cut.bottom; ++y) {
    uint32_t* row = surface.Row(y);
    for (int x = cut.left; x < cut.right; ++x) row[x] = ((row[x] >> 2) & 0x3F3F3F) + ((row[x] >> 3) & 0x1F1F1F);
  }
}

// Draws the text `walk` lays out over its backdrop: a band behind each line
// that has ink (reaching `margin` past its ends), or the glyphs ringed in
// black one pixel wide; then the text itself.
template <typename Walk>
void DrawStyled(Surface& surface, Font& font, const Rect& clip, Color color, TextStyle style, Walk walk) {
  constexpr int margin = 4;
  if (style == TextStyle::kBand) {
    Rect line{0, 0, 0, -1};  // the line being shaded; empty before the first
    walk([&](const Glyph& glyph, int x, int lineTop, bool) {
      if (lineTop != line.top || line.bottom < 0) {
        if (line.bottom >= 0) Shade(surface, line, {0, 0, surface.width, surface.height});
        line = {x - margin, lineTop, x, lineTop + font.cellHeight()};
      }
      line.right = x + glyph.advance + margin;
    });
    if (line.bottom >= 0) Shade(surface, line, {0, 0, surface.width, surface.height});
  } else if (style == TextStyle::kOutline) {
    walk([&](const Glyph& glyph, int x, int lineTop, bool) {
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          if (dx || dy) DrawGlyph(surface, glyph, x + dx, lineTop + font.ascent() + dy, kBlack, clip);
        }
      }
    });
  }
  walk([&](const Glyph& glyph, int x, int lineTop, bool underline) {
    const int baseline = lineTop + font.ascent();
    DrawGlyph(surface, glyph, x, baseline, color, clip);
    const int underlineY = baseline + 1;
    if (underline && underlineY >= clip.top && underlineY < clip.bottom) {
      uint32_t* row = surface.Row(underlineY);
      for (int ux = std::max(x, clip.left); ux < std::min(x + glyph.advance, clip.right); ++ux) row[ux] = color.Pixel();
    }
  });
}

}  // namespace

int TextOut(Surface& surface, Font& font, int x, int y, const char* text, size_t length, Color color,
            TextStyle style) {
  const Rect clip{0, 0, surface.width, surface.height};
  int end = x;
  DrawStyled(surface, font, clip, color, style, [&](auto visit) { end = WalkLine(font, x, y, text, length, visit); });
  return end;
}

void DrawText(Surface& surface, Font& font, const char* text, size_t length, const Rect& box, Color color,
              TextStyle style) {
  const Rect clip = Intersect(box, surface);
  DrawStyled(surface, font, clip, color, style,
             [&](auto visit) { WalkPage(font, text, length, box, clip.bottom, visit); });
}

void DrawImage(Surface& target, const Surface& image, int x, int y) {
  for (int row = 0; row < image.height; ++row) {
    if (y + row < 0 || y + row >= target.height) continue;
    for (int col = 0; col < image.width; ++col) {
      if (x + col >= 0 && x + col < target.width) target.Row(y + row)[x + col] = image.Row(row)[col];
    }
  }
}

}  // namespace ks

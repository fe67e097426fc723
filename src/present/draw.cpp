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

int TextOut(Surface& surface, Font& font, int x, int y, const char* text, size_t length, Color color) {
  const Rect clip{0, 0, surface.width, surface.height};
  const int baseline = y + font.ascent();
  for (size_t i = 0; i < length && text[i] != '\0';) {
    const Character c = CharacterAt(text, i, length);
    const Glyph& glyph = font.GlyphFor(c.code);
    DrawGlyph(surface, glyph, x, baseline, color, clip);
    x += glyph.advance;
    i += c.bytes;
  }
  return x;
}

void DrawText(Surface& surface, Font& font, const char* text, size_t length, const Rect& box, Color color) {
  const Rect clip = Intersect(box, surface);
  int x = box.left;
  int lineTop = box.top;
  auto newLine = [&] {
    x = box.left;
    lineTop += font.cellHeight();
  };
  size_t i = 0;
  while (i < length && text[i] != '\0' && lineTop < clip.bottom) {
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
    const int baseline = lineTop + font.ascent();
    DrawGlyph(surface, glyph, x, baseline, color, clip);
    const int underlineY = baseline + 1;
    if (underline && underlineY >= clip.top && underlineY < clip.bottom) {
      uint32_t* row = surface.Row(underlineY);
      for (int ux = std::max(x, clip.left); ux < std::min(x + glyph.advance, clip.right); ++ux) row[ux] = color.Pixel();
    }
    x += glyph.advance;
    i += c.bytes;
  }
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

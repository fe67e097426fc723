// The drawing layer: whole-surface copies, the rounded box of the notices and
// the menu, and text (TextOut at a point, DrawText into a rectangle).
#pragma once

#include <cstddef>

#include "present/font.h"
#include "core/scene.h"
#include "core/surface.h"

namespace ks {

// Copies all of `from` onto `to`, which has the same size.
void CopySurface(const Surface& from, Surface& to);
// Copies `image` onto `target` with its top left at (x, y), clipped.
void DrawImage(Surface& target, const Surface& image, int x, int y);

// A box from (left, top) to (right, bottom) with corners rounded by 20 x 20
// ellipses: a one-pixel black outline around a white fill. As on the window
// system, the right and bottom coordinates are outside the box.
void RoundRect(Surface& surface, const Rect& box);

// Fills `box`, cut at the surface's edges.
void FillRect(Surface& surface, const Rect& box, Color color);

// Draws one line of code page 932 text, at most `length` bytes and up to its
// NUL, with the top-left of its first cell at (x, y); only the ink is drawn.
// `style` sets the text off from the picture behind it. Returns where the pen
// stopped: the x just right of the text.
int TextOut(Surface& surface, Font& font, int x, int y, const char* text, size_t length, Color color,
            TextStyle style = TextStyle::kPlain);

// Draws text into `box` as the page does: no word wrapping; a new line at a
// line feed, a carriage return or the pair CR LF; ink outside the box is cut
// off; "&" underlines the character after it and "&&" draws one "&". Stops
// at a NUL or after `length` bytes.
void DrawText(Surface& surface, Font& font, const char* text, size_t length, const Rect& box, Color color,
              TextStyle style = TextStyle::kPlain);

}  // namespace ks

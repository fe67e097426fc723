// The scene of a composed frame: what is drawn over the background, in
// order. The engine adds each part at the moment the screen shows it (the
// page after Enter has run the script, a notice even in the frame that
// dismisses it, the menu before its row is taken), and the frame is then
// drawn from the scene. A frame whose scene equals the one on the screen
// needs no pixel work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/scene.h"
#include "core/settings.h"
#include "core/surface.h"

namespace ks {

struct PageState;
struct ChoiceState;

// The player's own words, given in UTF-8, in code page 932 for the story's
// fonts ("" when one has no code there).
std::string Words(const char* utf8);

// The page text in white in its rectangle.
void AddPageText(Scene& scene, const PageState& page);
// A notice's box and its black text.
void AddNotice(Scene& scene, Notice notice);
// The system menu's box and rows, the row at `cursor` highlighted.
void AddSystemMenu(Scene& scene, int32_t cursor);
// The first `count` choices in white, the one at `cursor` highlighted.
void AddChoiceList(Scene& scene, const ChoiceState& choices, int32_t count, int32_t cursor);

// The reader's marks over the picture: the volume (0 to 100, or muted),
// that a screenshot was taken, and a box of help lines (code page 932).
void AddVolumeMark(Scene& scene, int volume, bool muted);
void AddShotMark(Scene& scene);
void AddHelp(Scene& scene, const std::vector<std::string>& lines);
// A page of the backlog, drawn as the page was, over the picture darkened to
// half, with where it is ("n / N").
void AddBacklogPage(Scene& scene, const std::string& text, size_t n, size_t total);
// A mode's mark in the top right corner ("SKIP", "AUTO").
void AddModeMark(Scene& scene, const std::string& text);
// A switch's mark in the bottom left corner ("SPEECH ON").
void AddSwitchMark(Scene& scene, const std::string& text);

// The story's text on the screen (the page and a choice list; not the boxes
// of the menu and the notices) drawn over `backdrop`; or, `hidden`, nothing
// of the story's screen drawn over the picture at all.
void StyleStoryText(Scene& scene, TextBackdrop backdrop, bool hidden);

}  // namespace ks

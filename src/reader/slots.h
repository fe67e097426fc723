// The reader's save slots, beside the story's own DATA/save.txt: Quick, Auto
// and nine more, kept per story folder in $XDG_DATA_HOME/kamishibai/stories/
// (named by a hash of the folder's real path, so a corrected script keeps its
// readers' slots). A slot is a save file in the story's own 1068-byte layout
// ("3.sav", loaded through the same loader as the menu's load) beside a
// 160 x 120 PNG of the screen at save time ("3.png"); each is replaced whole,
// and a slot is never deleted.
//
// F5 saves to Quick, F9 loads the newest of Quick and Auto, F2 and F3 open
// the slots screens. Auto is written when the reader quits (KeepPlace), with
// the last page shown; the next start shows for three seconds that F9 goes
// on from there.
#pragma once

#include <cstdint>
#include <string>

#include "core/engine_state.h"
#include "core/intents.h"
#include "core/scene.h"
#include "reader/reader.h"

namespace ks {

inline constexpr int kSlotCount = 11;  // Quick, Auto, then 1 to 9
inline constexpr int kQuickSlot = 0;
inline constexpr int kAutoSlot = 1;
inline constexpr int kSaveSlots = 1, kLoadSlots = 2;  // PlaceState::slotsShown
inline constexpr int kThumbnailWidth = kScreenWidth / 4, kThumbnailHeight = kScreenHeight / 4;

// The slots folder of the story folder whose real path is `storyFolder`; ""
// with no home folder.
std::string SlotsFolderFor(const std::string& storyFolder);
// A slot's file: `ext` is "sav" or "png"; "" when slots are not kept.
std::string SlotFile(const EngineState& state, int slot, const char* ext);

// `screen` scaled down 4 times: each pixel the mean of a 4 x 4 block.
Surface Thumbnail(const Surface& screen);

// Writes `record` (1068 bytes) and the thumbnail of `screen` into `slot`.
// Returns false with a reason; the old slot then stays as it was.
bool WriteSlot(const EngineState& state, int slot, const uint8_t* record, const Surface& screen, std::string* error);

// Loads `slot` as the menu's load does: the page, the picture and music, the
// loaded notice. Returns false with a reason, changing nothing.
bool LoadSlot(EngineState& state, int slot, std::string* error);

// The place kept on quit: the last page shown goes into the Auto slot, unless
// the story ended by itself or no page was shown. Returns false with a reason.
bool KeepPlace(EngineState& state, std::string* error);

// At start, after the first page: removes what slot writes killed midway left, and shows the mark
// that F9 goes on from the Auto slot when there is one.
void PrepareSlots(EngineState& state, uint32_t now);

// The quick keys and the slots screens, a reader's screen before the
// backlog.
ScreenTurn SlotsScreen(EngineState& state, Intents& intents, Scene& scene);

// Closes a slots screen (Escape). Returns false when none was open.
bool CloseSlots(EngineState& state);

// The quick save and continue marks, while they show.
void AddPlaceMarks(Scene& scene, EngineState& state, uint32_t now);
bool PlaceMarksShowing(const EngineState& state);

}  // namespace ks

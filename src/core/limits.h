// Every fixed size of the player, named once. Each write into a fixed array
// is checked against one of these; what happens at the limit is chosen at
// that write (truncate or drop) and tested.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ks {

inline constexpr int kScreenWidth = 640;
inline constexpr int kScreenHeight = 480;

// The page buffer: 999 text bytes and the terminator.
inline constexpr size_t kPageBytes = 1000;
inline constexpr uint32_t kMaxPageLength = kPageBytes - 1;

inline constexpr int kMaxChoices = 5;
inline constexpr size_t kChoiceTextBytes = 100;  // 99 bytes and a NUL

inline constexpr int kLabelCount = 100;  // label numbers 0 to 99

// The system menu's rows: save, load, cancel, quit, back to the title.
inline constexpr int kMenuRows = 5;
// The system menu's rows, top to bottom.
enum MenuRow { kSaveRow, kLoadRow, kCancelRow, kQuitRow, kTitleRow };

// Names kept in the save file, NUL included.
inline constexpr size_t kBackgroundNameBytes = 20;
inline constexpr size_t kBgmNameBytes = 40;

// The interpreter's temporaries: file names and label numbers.
inline constexpr size_t kFileFieldBytes = 32;
inline constexpr size_t kNumberFieldBytes = 12;

// Where a choice list is drawn: the default (lower) and the "@H" (upper) spot.
inline constexpr int32_t kLowChoiceX = 265;
inline constexpr int32_t kLowChoiceY = 320;
inline constexpr int32_t kHighChoiceX = 100;
inline constexpr int32_t kHighChoiceY = 220;

}  // namespace ks

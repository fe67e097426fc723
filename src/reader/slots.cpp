#include "reader/slots.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/file_io.h"
#include "core/report.h"
#include "core/sjis.h"
#include "core/xdg.h"
#include "present/scene.h"
#include "reader/aids.h"
#include "reader/reader.h"
#include "save/save_file.h"

namespace ks {
namespace {

constexpr uint32_t kQuickMarkMs = 1500;
constexpr uint32_t kContinueMarkMs = 3000;
constexpr const char* kSlotNames[kSlotCount] = {"quick", "auto", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
constexpr const char* kSlotLabels[kSlotCount] = {"Quick", "Auto", "1", "2", "3", "4", "5", "6", "7", "8", "9"};

// The screen: four columns of cells, a thumbnail over two lines of text; the
// twelfth cell names the screen.
constexpr int kCellWidth = 160, kCellHeight = 158, kTop = 6;

Rect CellRect(int slot) {
  const int x = (slot % 4) * kCellWidth, y = kTop + (slot / 4) * kCellHeight;
  return {x, y, x + kCellWidth, y + kCellHeight};
}

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// When the slot was written; 0 for an empty slot.
int64_t SlotTime(const EngineState& state, int slot) { return FileTime(SlotFile(state, slot, "sav")); }

// A thumbnail as WriteSlot writes it; anything else is no thumbnail.
std::shared_ptr<const Surface> ReadThumbnail(const std::string& path) {
  auto picture = std::make_shared<Surface>();
  const size_t pixels = size_t(kThumbnailWidth) * kThumbnailHeight;
  if (!IsRegularFile(path) || !ReadPicture(path, pixels, picture.get(), nullptr)) return nullptr;
  if (picture->width != kThumbnailWidth || picture->height != kThumbnailHeight) return nullptr;
  return picture;
}

// The page's first line, at most `maxBytes` bytes, never half a character.
std::string FirstLine(const char* text, size_t size, size_t maxBytes) {
  std::string line;
  for (size_t i = 0; i < size && text[i] != '\0' && text[i] != '\r' && text[i] != '\n';) {
    const size_t n = IsSjisLeadByte(uint8_t(text[i])) && i + 1 < size ? 2 : 1;
    if (line.size() + n > maxBytes) break;
    line.append(text + i, n);
    i += n;
  }
  return line;
}

void ReadSlots(EngineState& state) {
  PlaceState& place = state.reader.place;
  place.slots.assign(kSlotCount, SlotView{});
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SlotView& view = place.slots[size_t(slot)];
    std::vector<uint8_t> bytes;
    const std::string file = SlotFile(state, slot, "sav");
    if (!IsRegularFile(file) || !ReadWholeFile(file, 1 << 20, &bytes, nullptr) || bytes.size() < kSaveFileBytes) {
      continue;
    }
    view.used = true;
    SaveRecord record;
    std::memcpy(&record, bytes.data(), sizeof record);
    view.firstLine = FirstLine(record.pageText, sizeof record.pageText, kCellWidth / 8 - 1);
    const std::time_t t = std::time_t(SlotTime(state, slot) / 1000000000);
    std::tm local{};
    localtime_r(&t, &local);
    char when[32];
    std::strftime(when, sizeof when, "%m-%d %H:%M", &local);  // "Quick  " and this fill a cell
    view.when = when;
    view.thumbnail = ReadThumbnail(SlotFile(state, slot, "png"));
  }
}

// A slot can be saved where the menu's save can: on a page with no notice.
bool CanSave(const EngineState& state) {
  const ScreenState& s = state.screen;
  return OnPage(s) && !AnyNotice(s) && !s.fadeActive && !s.quitRequested;
}

bool CanLoad(const EngineState& state) {
  const ScreenState& s = state.screen;
  return (OnPage(s) || ChoiceCount(s) > 0) && !AnyNotice(s) && !s.fadeActive && !s.quitRequested;
}

// Saves the page on the screen into `slot`; a failure is said on the screen.
void SavePage(EngineState& state, int slot, const Surface& screen, uint32_t now) {
  const SaveRecord record = MakeSaveRecord(state);
  std::string error;
  if (!WriteSlot(state, slot, reinterpret_cast<const uint8_t*>(&record), screen, &error)) {
    Report(error);
    state.screen.saveFailedNotice = 1;
    return;
  }
  PlaceState& place = state.reader.place;
  if (slot == kQuickSlot) {
    place.quickMark = true;
    place.quickMarkUntil = now + kQuickMarkMs;
  } else {
    state.screen.savedNotice = 1;
  }
}

void Load(EngineState& state, int slot) {
  std::string error;
  if (!LoadSlot(state, slot, &error)) Report(error);
}

void AddSlotsScreen(Scene& scene, const PlaceState& place) {
  scene.ops.push_back({DrawOp::Kind::kDarken, {0, 0, kScreenWidth, kScreenHeight}, kBlack, {}});
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const Rect r = CellRect(slot);
    const SlotView& view = place.slots[size_t(slot)];
    const Rect picture{r.left + 2, r.top + 2, r.left + 2 + kThumbnailWidth - 4, r.top + 2 + kThumbnailHeight - 4};
    // The cell is a row of its own list, hit anywhere in it.
    scene.ops.push_back({DrawOp::Kind::kImage, r, kWhite, {}, RowList::kSlots, slot, view.thumbnail});
    if (!view.thumbnail) scene.ops.push_back({DrawOp::Kind::kFill, picture, Color{40, 40, 40}, {}});
    std::string label = kSlotLabels[slot];
    label += view.used ? "  " + view.when : "  ---";
    const bool at = slot == place.slotCursor;
    scene.ops.push_back(
        {DrawOp::Kind::kNoticeText, {r.left + 4, r.top + 122, r.left + 4, r.top + 122}, at ? kHighlight : kWhite, label});
    scene.ops.push_back(
        {DrawOp::Kind::kNoticeText, {r.left + 4, r.top + 139, r.left + 4, r.top + 139}, kWhite, view.firstLine});
    if (at) {  // a frame around the highlighted cell
      const Color c = kHighlight;
      scene.ops.push_back({DrawOp::Kind::kFill, {r.left, r.top, r.right, r.top + 2}, c, {}});
      scene.ops.push_back({DrawOp::Kind::kFill, {r.left, r.bottom - 2, r.right, r.bottom}, c, {}});
      scene.ops.push_back({DrawOp::Kind::kFill, {r.left, r.top, r.left + 2, r.bottom}, c, {}});
      scene.ops.push_back({DrawOp::Kind::kFill, {r.right - 2, r.top, r.right, r.bottom}, c, {}});
    }
  }
  const Rect last = CellRect(kSlotCount);
  static const std::string kSave = Words("セーブ"), kLoad = Words("ロード"), kClose = Words("Esc　閉じる"),
                           kOver = Words("上書きしますか？"), kYes = Words("Enter　はい");
  const int x = last.left + 12;
  scene.ops.push_back({DrawOp::Kind::kNoticeText, {x, last.top + 40, x, last.top + 40}, kWhite,
                       place.slotsShown == kSaveSlots ? kSave : kLoad});
  scene.ops.push_back({DrawOp::Kind::kNoticeText, {x, last.top + 70, x, last.top + 70}, kWhite, kClose});
  if (place.confirming) {
    scene.ops.push_back({DrawOp::Kind::kBox, {220, 200, 420, 270}, kBlack, {}});
    scene.ops.push_back({DrawOp::Kind::kNoticeText, {240, 212, 240, 212}, kBlack, kOver});
    scene.ops.push_back({DrawOp::Kind::kNoticeText, {240, 238, 240, 238}, kBlack, kYes});
  }
}

}  // namespace

std::string SlotsFolderFor(const std::string& storyFolder) {
  const std::string data = DataFolder();
  if (data.empty()) return "";
  uint64_t hash = 14695981039346656037ull;  // FNV-1a of the folder's path
  for (char c : storyFolder) hash = (hash ^ uint8_t(c)) * 1099511628211ull;
  char id[17];
  std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(hash));
  return data + "/stories/" + id;
}

std::string SlotFile(const EngineState& state, int slot, const char* ext) {
  const std::string& folder = state.reader.place.slotsFolder;
  return folder.empty() ? "" : folder + "/" + kSlotNames[slot] + "." + ext;
}

Surface Thumbnail(const Surface& screen) {
  Surface out(kThumbnailWidth, kThumbnailHeight);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      uint32_t sum[3] = {};
      for (int dy = 0; dy < 4; ++dy) {
        const uint32_t* row = screen.Row(y * 4 + dy) + x * 4;
        for (int dx = 0; dx < 4; ++dx) {
          for (int c = 0; c < 3; ++c) sum[c] += (row[dx] >> (8 * c)) & 0xFF;
        }
      }
      out.Row(y)[x] = ((sum[2] + 8) / 16) << 16 | ((sum[1] + 8) / 16) << 8 | (sum[0] + 8) / 16;
    }
  }
  return out;
}

bool WriteSlot(const EngineState& state, int slot, const uint8_t* record, const Surface& screen, std::string* error) {
  const std::string& folder = state.reader.place.slotsFolder;
  if (folder.empty()) return Fail(error, "cannot save a slot: there is no home folder (HOME is not set)");
  if (!MakeFolders(folder)) return Fail(error, "cannot save a slot: cannot make the folder " + folder);
  // A folder made read-only (no write bit) is left alone, even by root.
  if (!FolderWritable(folder)) return Fail(error, "cannot save a slot in " + folder + ": the folder is read-only");
  std::vector<uint8_t> picture;
  if (screen.width != kScreenWidth || screen.height != kScreenHeight || !EncodePicture(Thumbnail(screen), &picture)) {
    return Fail(error, "cannot save a slot: the picture of the screen could not be made");
  }
  // The picture first: a slot whose record is there always loads.
  return ReplaceFile(SlotFile(state, slot, "png"), picture.data(), picture.size(), error) &&
         ReplaceFile(SlotFile(state, slot, "sav"), record, kSaveFileBytes, error);
}

bool LoadSlot(EngineState& state, int slot, std::string* error) {
  if (state.reader.place.slotsFolder.empty()) return Fail(error, "cannot load a slot: there is no home folder");
  if (!LoadGameFrom(state, SlotFile(state, slot, "sav"), error)) return false;
  // As the menu's load: the page with the loaded notice, which a fresh Enter dismisses.
  ScreenState& screen = state.screen;
  screen.uiMode = kUiPage;
  screen.loadedNotice = 1;
  screen.savedNotice = screen.saveFailedNotice = screen.titleNotice = 0;
  state.input.enterLatch = 1;
  state.reader.place.continueMark = false;
  NoteLoadedPage(state);
  return true;
}

bool KeepPlace(EngineState& state, std::string* error) {
  const PlaceState& place = state.reader.place;
  if (place.storyEnded || !place.haveLastPage || place.slotsFolder.empty()) return true;
  return WriteSlot(state, kAutoSlot, place.lastPage, state.display.primarySurface, error);
}

void PrepareSlots(EngineState& state, uint32_t now) {
  PlaceState& place = state.reader.place;
  if (place.slotsFolder.empty()) return;
  timespec start{};
  clock_gettime(CLOCK_REALTIME, &start);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    RemoveStaleTemporaries(SlotFile(state, slot, "sav"), start);
    RemoveStaleTemporaries(SlotFile(state, slot, "png"), start);
  }
  if (SlotTime(state, kAutoSlot) != 0) {
    place.continueMark = true;
    place.continueMarkUntil = now + kContinueMarkMs;
  }
}

ScreenTurn SlotsScreen(EngineState& state, Intents& intents, Scene& scene) {
  ReaderState& reader = state.reader;
  PlaceState& place = reader.place;
  const uint32_t now = state.screen.lastFrameTime;
  if (place.slotsShown == 0) {
    if (reader.backlogShown >= 0) return ScreenTurn::kNotUp;
    if (intents.Has(Intent::kQuickSave) && CanSave(state)) {
      SavePage(state, kQuickSlot, state.display.primarySurface, now);
    } else if (intents.Has(Intent::kQuickLoad) && CanLoad(state)) {
      // The newest of the quick save and the place kept on quit.
      const int64_t quick = SlotTime(state, kQuickSlot), kept = SlotTime(state, kAutoSlot);
      if (quick || kept) Load(state, kept > quick ? kAutoSlot : kQuickSlot);
    } else if ((intents.Has(Intent::kSaveSlots) && CanSave(state)) ||
               (intents.Has(Intent::kLoadSlots) && CanLoad(state))) {
      place.slotsShown = intents.Has(Intent::kSaveSlots) ? kSaveSlots : kLoadSlots;
      place.slotCursor = place.slotsShown == kSaveSlots ? 2 : kQuickSlot;
      place.confirming = false;
      place.screenAtOpen = state.display.primarySurface;
      ReadSlots(state);
      // The keys held as it opens act only when pressed again.
      AddSlotsScreen(scene, place);
      return ScreenTurn::kTookFrame;
    }
    return ScreenTurn::kNotUp;
  }

  // Keys as on the menu, the pointer over the cells; each acts once a press
  // (the keys held while a reader's screen is up act when pressed again).
  if ((intents.PointsAtRow(RowList::kSlots) || intents.TakesRow(RowList::kSlots)) && intents.row.row != place.slotCursor) {
    place.slotCursor = intents.row.row;
    place.confirming = false;
  }
  int move = 0;
  if (intents.Has(Intent::kUp)) move = -1;
  if (intents.Has(Intent::kDown)) move = 1;
  if (move != 0) {
    place.slotCursor = std::min(kSlotCount - 1, std::max(0, place.slotCursor + move));
    place.confirming = false;
  }
  const bool take = intents.Has(Intent::kAdvance) || intents.TakesRow(RowList::kSlots);
  const bool back = intents.Has(Intent::kCancel) || intents.Has(Intent::kBacklogClose);
  if (back && place.confirming) {
    place.confirming = false;
  } else if (back) {
    CloseSlots(state);
    return ScreenTurn::kClosed;
  } else if (take) {
    const int slot = place.slotCursor;
    const bool used = place.slots[size_t(slot)].used;
    if (place.slotsShown == kLoadSlots && used) {
      CloseSlots(state);
      Load(state, slot);
      return ScreenTurn::kClosed;
    }
    if (place.slotsShown == kSaveSlots && slot != kAutoSlot) {
      if (used && !place.confirming) {
        place.confirming = true;  // saving over a used slot asks once
      } else {
        const Surface screen = std::move(place.screenAtOpen);
        CloseSlots(state);
        SavePage(state, slot, screen, now);
        return ScreenTurn::kClosed;
      }
    }
  }
  AddSlotsScreen(scene, place);
  return ScreenTurn::kTookFrame;
}

bool CloseSlots(EngineState& state) {
  PlaceState& place = state.reader.place;
  if (place.slotsShown == 0) return false;
  place.slotsShown = 0;
  place.confirming = false;
  place.screenAtOpen = Surface();
  return true;
}

void AddPlaceMarks(Scene& scene, EngineState& state, uint32_t now) {
  PlaceState& place = state.reader.place;
  place.quickMark = place.quickMark && StillShowing(now, place.quickMarkUntil);
  place.continueMark = place.continueMark && StillShowing(now, place.continueMarkUntil);
  static const std::string kContinue = Words("F9　続きから");
  if (place.slotsShown != 0) return;  // the slots screen is over everything
  if (place.quickMark) {
    scene.ops.push_back({DrawOp::Kind::kNoticeText, {8, 450, 8, 450}, kHighlight, "QUICK SAVE"});
  } else if (place.continueMark) {
    scene.ops.push_back({DrawOp::Kind::kNoticeText, {8, 450, 8, 450}, kHighlight, kContinue});
  }
}

bool PlaceMarksShowing(const EngineState& state) {
  return state.reader.place.quickMark || state.reader.place.continueMark;
}

}  // namespace ks

#include "engine/intents.h"

namespace ks {

Intents ReadIntents(const FrameKeys& keys, const DisplayState& display) {
  Intents intents;
  auto add = [&](bool on, Intent intent) {
    if (on) intents.Add(intent);
  };
  add(keys.enter, Intent::kAdvance);
  add(keys.space, Intent::kMenu);
  add(keys.up, Intent::kUp);
  add(keys.down, Intent::kDown);
  add(keys.ctrl, Intent::kSkipHeld);
  add(keys.leftButton || keys.rightButton, Intent::kButtonHeld);
  add(keys.WentDown(Key::kLeftButton), Intent::kClick);
  add(keys.WentDown(Key::kRightButton), Intent::kCancel);
  add(keys.wheelUp, Intent::kWheelOlder);
  add(keys.wheelDown, Intent::kWheelNewer);
  intents.bits |= (uint64_t(keys.readerKeys) << kFirstReaderIntent) & ((IntentBit(Intent::kOther) << 1) - 1);

  // A row is only where the screen shows one.
  if (display.sceneShown) intents.row = RowAt(display.shownScene, keys.pointerX, keys.pointerY);
  if (intents.row.list != RowList::kNone) {
    add(keys.pointerMoved, Intent::kPointAtRow);
    add(intents.Has(Intent::kClick), Intent::kTakeRow);
  }
  return intents;
}

}  // namespace ks

// The order of work inside a frame is visible and kept: Enter on a page runs
// the script before the page is drawn, over the background the frame started
// from, so a new picture shows one frame after its page; a page that ran into
// a choice list is drawn once more (up to its old terminator) before the list
// shows; a notice is still drawn in the frame that dismisses it; the menu and
// the choice list are drawn before Enter acts on them; and Up and Down are
// still handled in the frame a choice is taken, against the screen the story
// is now on.
//
// The Enter latch is tested for release in every composed frame; each
// screen's Up and Down latches only in frames that show that screen.
#include "engine/screens.h"

#include "core/report.h"
#include "reader/aids.h"
#include "reader/story_run.h"
#include "save/save_file.h"
#include "script/interpreter.h"
#include "script/label_index.h"
#include "sound/sound.h"

namespace ks {
namespace {

// The story's keys as the frame's screen sees them.
struct StoryKeys {
  bool enter = false, space = false, up = false, down = false;
};

// The held keys; a page turned by skip or auto mode is Enter pressed afresh.
StoryKeys HeldKeys(EngineState& state, const Intents& intents) {
  StoryKeys keys{intents.Has(Intent::kAdvance), intents.Has(Intent::kMenu), intents.Has(Intent::kUp),
                 intents.Has(Intent::kDown)};
  if (intents.Has(Intent::kTurnPage)) {
    keys.enter = true;
    state.input.enterLatch = 0;
  }
  return keys;
}

// On a page a click (or the wheel turned down) is Enter, a right click Space.
StoryKeys PageKeys(EngineState& state, const Intents& intents) {
  StoryKeys keys = HeldKeys(state, intents);
  keys.enter = keys.enter || intents.Has(Intent::kClick) || intents.Has(Intent::kWheelNewer);
  keys.space = keys.space || intents.Has(Intent::kCancel);
  return keys;
}

// Over a list the pointer moves the cursor as Up and Down would and a click
// takes the row under it; in the menu a right click takes its cancel.
StoryKeys ListKeys(EngineState& state, const Intents& intents, RowList list) {
  StoryKeys keys = HeldKeys(state, intents);
  ScreenState& screen = state.screen;
  if (intents.PointsAtRow(list) || intents.TakesRow(list)) screen.cursor = intents.row.row;
  keys.enter = keys.enter || intents.TakesRow(list);
  if (list == RowList::kMenu && intents.Has(Intent::kCancel)) {
    screen.cursor = kCancelRow;
    keys.enter = true;
  }
  return keys;
}

// The Enter latch clears in every composed frame that sees Enter up.
StoryKeys Seen(EngineState& state, const StoryKeys& keys) {
  if (!keys.enter) state.input.enterLatch = 0;
  return keys;
}

// Enter acts: it is down and has not acted since it was last seen up.
bool EnterActs(const EngineState& state, const StoryKeys& keys) { return keys.enter && !state.input.enterLatch; }

// Up and Down with their latches; the cursor stays within [0, last].
void MoveCursor(EngineState& state, const StoryKeys& keys, uint32_t& upLatch, uint32_t& downLatch, int32_t last) {
  int32_t& cursor = state.screen.cursor;
  if (keys.up && !upLatch) {
    upLatch = 1;
    if (--cursor < 0) cursor = 0;
  }
  if (!keys.up) upLatch = 0;
  if (keys.down && !downLatch) {
    downLatch = 1;
    if (++cursor > last) cursor = last;
  }
  if (!keys.down) downLatch = 0;
}

// A notice shows until a fresh Enter; `onDismiss` runs when it goes.
template <typename OnDismiss>
void ShowNotice(EngineState& state, const StoryKeys& keys, Scene& scene, uint32_t& flag, Notice notice,
                OnDismiss onDismiss) {
  if (!flag) return;
  if (EnterActs(state, keys)) {
    state.input.enterLatch = 1;
    flag = 0;
    onDismiss();
  }
  AddNotice(scene, notice);
}

void TextPage(EngineState& state, const StoryKeys& keys, Scene& scene) {
  ScreenState& screen = state.screen;
  if (!AnyNotice(screen)) {
    if (EnterActs(state, keys)) {
      state.input.enterLatch = 1;
      RunStory(state);
    }
    if (keys.space && !state.input.enterLatch) screen.uiMode = kUiMenu;
  }
  AddPageText(scene, state.page);
  ShowNotice(state, keys, scene, screen.savedNotice, Notice::kSaved, [] {});
  ShowNotice(state, keys, scene, screen.saveFailedNotice, Notice::kSaveFailed, [] {});
  if (screen.loadedNotice) {
    ShowNotice(state, keys, scene, screen.loadedNotice, Notice::kLoaded, [] {});
    StopLoopSe(state);
  }
  if (screen.titleNotice) {
    ShowNotice(state, keys, scene, screen.titleNotice, Notice::kTitle, [&] {
      state.script.scriptPos = 0;
      RunStory(state);
    });
    StopLoopSe(state);
  }
}

// Returns false when the frame ends here, without a flip (after a load).
bool SystemMenu(EngineState& state, const StoryKeys& keys, Scene& scene) {
  ScreenState& screen = state.screen;
  AddSystemMenu(scene, screen.cursor);
  if (EnterActs(state, keys)) {
    std::string error;
    switch (screen.cursor) {
      case kSaveRow:
        // Only a save that reached the disk is announced; one that did not
        // says so, and the old save stays.
        if (SaveGame(state, &error)) {
          screen.savedNotice = 1;
        } else {
          screen.saveFailedNotice = 1;
          Report(error);
        }
        break;
      case kLoadRow:
        if (LoadGame(state, &error)) {
          // The latch is set here too, so the notice stays until Enter is
          // pressed afresh instead of vanishing with the press that loaded.
          screen.uiMode = kUiPage;
          screen.loadedNotice = 1;
          state.input.enterLatch = 1;
          NoteLoadedPage(state);
          return false;
        }
        Report(error);  // nothing was loaded: back to the page as on cancel
        break;
      case kQuitRow: screen.quitRequested = 1; break;
      case kTitleRow: screen.titleNotice = 1; break;
      default: break;  // cancel, and any row outside the menu
    }
    screen.uiMode = kUiPage;
    screen.cursor = 0;
    state.input.enterLatch = 1;
  }
  MoveCursor(state, keys, state.input.menuUpLatch, state.input.menuDownLatch, kMenuRows - 1);
  return true;
}

void ChoiceList(EngineState& state, const StoryKeys& keys, Scene& scene) {
  ScreenState& screen = state.screen;
  const int32_t count = ChoiceCount(screen);
  AddChoiceList(scene, state.choices, count, screen.cursor);
  if (EnterActs(state, keys)) {
    const bool onAChoice = screen.cursor >= 0 && screen.cursor < count;
    state.script.scriptPos = LabelPosition(state, onAChoice ? state.choices.choiceTargets[screen.cursor] : -1);
    screen.uiMode = kUiPage;
    RunStory(state);
    state.input.enterLatch = 1;
  }
  // Against `uiMode` as it is now: 0 when a choice was just taken.
  MoveCursor(state, keys, state.input.choiceUpLatch, state.input.choiceDownLatch, screen.uiMode - 1);
}

}  // namespace

bool HandleKeys(EngineState& state, const Intents& intents, Scene& scene) {
  // The one place that decides which of the story's screens is up.
  const ScreenState& screen = state.screen;
  if (OnPage(screen)) {
    TextPage(state, Seen(state, PageKeys(state, intents)), scene);
  } else if (InMenu(screen)) {
    return SystemMenu(state, Seen(state, ListKeys(state, intents, RowList::kMenu)), scene);
  } else if (ChoiceCount(screen) > 0) {
    ChoiceList(state, Seen(state, ListKeys(state, intents, RowList::kChoices)), scene);
  } else {
    Seen(state, HeldKeys(state, intents));
  }
  return true;
}

}  // namespace ks

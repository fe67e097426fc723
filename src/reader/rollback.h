// Going back to an earlier page. Every stop of the story (a page or a choice
// list) leaves a snapshot of all a run of the script reads and all the screen
// shows of it; each backlog page keeps the last snapshot taken while it was
// the newest page, so a choice list belongs to the page shown before it.
// Going back to a backlog page puts its snapshot back: the page (or the choice
// list) as it stood, its picture, its music from the start and no effect
// playing; the pages after it leave the backlog, read marks stay. Since a
// run depends only on what a snapshot holds, the same keys then play the
// story on exactly as the first time.
//
// The snapshots are at most one per backlog page (kBacklogPages), about
// 2.7 KB each: under 600 KB whatever the story.
#pragma once

#include <cstddef>

#include "core/engine_state.h"

namespace ks {

// After a run of the script or a load: keeps the stop's snapshot, and the
// save record of the page for the Auto slot.
void NoteStop(EngineState& state);

// Goes back to the backlog page at `index` (0 the oldest). Returns false, and
// changes nothing, when it has no snapshot (a page the story faded from).
bool GoBack(EngineState& state, size_t index);

}  // namespace ks

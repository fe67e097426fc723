// Reading aids: the backlog of pages seen in this run, the read marks kept
// across runs, skipping through read pages, and auto mode.
//
// A page counts as seen when a run of the script stops on it (a page end, a
// fade, the end, a load). A run depends only on where it starts, so the pair
// of where it started and where it stopped names the page for the read
// marks. Skip and auto press Enter for the reader, one page a frame at most,
// through the same screen rules as the key, so a story goes exactly where it
// would; while skipping, one-shot effects and the page sound are not started
// and a fade completes at once.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "core/engine_state.h"
#include "core/intents.h"
#include "present/scene.h"
#include "reader/reader.h"

namespace ks {

inline constexpr size_t kBacklogPages = 200;

// After a run of the script that started at `start`: records the page it
// stopped on, if it stopped on one.
void NoteRun(EngineState& state, uint32_t start);
// A page put on the screen by a load from the menu.
void NoteLoadedPage(EngineState& state);

// The backlog, a reader's screen: it takes the frame when it is open or its
// keys open it (on a page with no notice), turns its pages or closes, and
// gives its scene.
ScreenTurn BacklogScreen(EngineState& state, Intents& intents, Scene& scene);

// Skip and auto mode, before the story's screen: may turn the page for the
// reader (Intent::kTurnPage).
void DriveAids(EngineState& state, Intents& intents, uint32_t now);

// Whether a fade now completes at once (skip is on).
bool SkipsFades(const EngineState& state);

// The marks of the modes that are on ("SKIP", "AUTO").
void AddAidMarks(Scene& scene, EngineState& state, uint32_t now);

// The read marks of the story in `state.script`, kept in
// $XDG_DATA_HOME/kamishibai/<id>/read, <id> a hash of the script's bytes.
std::string ReadMarksFile(const ScriptState& script);
// Reads them into `state.reader.readRuns`. A missing file is no problem; a
// damaged one is ignored with a reason in `problem`.
void LoadReadMarks(EngineState& state, std::string* problem);
// Writes `runs` into `file` (atomically) together with the marks the file
// holds now: marks only grow, whoever wrote last. Runs past `scriptSize`
// mark a damaged file. Returns false with a reason; "" is not kept (true).
bool WriteReadMarks(const std::string& file, const std::set<std::pair<uint32_t, uint32_t>>& runs,
                    uint32_t scriptSize, std::string* error);

}  // namespace ks

// Watch mode, for authors: when the story's files change on disk, the page on
// the screen is played again from where it started, over the edited script.
#pragma once

#include <string>
#include <vector>

#include "core/engine_state.h"

namespace ks {

// Takes the files that changed (relative to the story folder): reloads the
// script when it changed (keeping the old one, with one line on stderr,
// when it cannot be read, is empty or ends inside a double-byte character,
// as an editor leaves it mid-save), the picture or music on the screen when
// they changed, and runs the page on the screen again. Where the page
// started is found in the edited script by the bytes before it, or after the
// nearest label before it; when it is gone, the page starts again from the
// nearest label before it that is left (or the script's start), and stderr
// names that place and the page it shows. The read marks switch to the
// edited script's (the caller writes the old script's first). Returns false
// when nothing the story uses changed.
bool ReloadStory(EngineState& state, const std::vector<std::string>& changed);

}  // namespace ks

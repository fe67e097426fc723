// The reader's settings, kept in $XDG_CONFIG_HOME/kamishibai/settings.ini as
// plain "key = value" lines. A damaged, partial or unreadable file costs only
// the keys it spoils. A write changes only the lines of the keys this player
// changed, in the file as it is on disk at that moment: every other line
// (comments, keys of another version, long values, NUL bytes) stays byte for
// byte, and a key another player changed meanwhile keeps its value.
#pragma once

#include <string>

#include "core/settings.h"

namespace ks {

// The settings file's path; "" when there is no home folder to keep it in.
std::string SettingsPath();

// Reads `path` over the defaults in `settings`, at start-up: temporaries a
// write killed midway left beside it are removed first. A missing file is
// no problem; otherwise what was ignored, and why, goes into `problems` as
// one line (empty when all was well). Returns false when the file is there
// but must be left alone: not a regular file (a link to a device or a FIFO),
// too large or unreadable.
bool LoadSettings(const std::string& path, Settings* settings, std::string* problems);

// Writes the keys whose values differ between `before` (the settings as
// last read or written) and `after` into the file at `path` as it is now,
// atomically, making its folder if need be; a missing file is written whole.
// A file that cannot be read whole, or is not a regular file, is left
// alone. Returns false with a reason.
bool SaveSettings(const std::string& path, const Settings& before, const Settings& after, std::string* error);

}  // namespace ks

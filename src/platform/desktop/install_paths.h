// Where the files that come with the programs are, found from the running
// program's own path, so that an installed copy and one in a build folder
// both find theirs wherever they were put (cmake --install --prefix, the
// Debian package, a build folder anywhere).
#pragma once

#include <string>

namespace ks {

// The demo story's folder (the one holding DATA/Script.txt) for the program
// running now: the installed one, share/kamishibai/demo beside the program's
// bin/ folder, or else the build folder's demo/ beside bin/. Returns "" when
// neither holds a script (or the program's path cannot be read).
std::string FindDemoStory();

// Whether `folder` lies in what was installed with the running program
// (share/kamishibai/ beside its bin/), which the player never writes into.
bool InstalledWithThePlayer(const std::string& folder);

}  // namespace ks

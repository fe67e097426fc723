// The folders the freedesktop.org base directory rules give a program.
#pragma once

#include <string>

namespace ks {

// $XDG_CONFIG_HOME/kamishibai, or ~/.config/kamishibai.
std::string ConfigFolder();
// $XDG_DATA_HOME/kamishibai, or ~/.local/share/kamishibai.
std::string DataFolder();
// The pictures folder of user-dirs.dirs (or ~/Pictures), then kamishibai.
std::string PicturesFolder();

// Makes `folder` and the folders above it; true when it exists afterwards.
bool MakeFolders(const std::string& folder);

}  // namespace ks

// The folders the freedesktop.org base directory rules give a program. With
// no home folder (HOME unset) and no XDG variable for it, a folder is "":
// nothing is kept rather than written into the working folder. Each call
// goes to the machine the backend gave (core/machine.h).
#pragma once

#include <string>

namespace ks {

// $XDG_CONFIG_HOME/kamishibai, or ~/.config/kamishibai.
std::string ConfigFolder();
// $XDG_DATA_HOME/kamishibai, or ~/.local/share/kamishibai.
std::string DataFolder();
// $XDG_CACHE_HOME/kamishibai, or ~/.cache/kamishibai.
std::string CacheFolder();
// The pictures folder of user-dirs.dirs (or ~/Pictures), then kamishibai.
std::string PicturesFolder();

// Makes `folder` and the folders above it; true when it exists afterwards
// (false for "").
bool MakeFolders(const std::string& folder);

}  // namespace ks

// Where a file named by a story is on disk. Every loader (script, save file,
// pictures, sounds) goes through this one function.
#pragma once

#include <string>

namespace ks {

// The path of `name` inside the story folder `root`. Stories were written on
// Windows, so a "\" in the name separates folders like "/".
std::string StoryPath(const std::string& root, const char* name);

}  // namespace ks

// Where a file named by a story is on disk. Every loader (script, save file,
// pictures, sounds, "Page.wav") goes through this one lookup.
//
// A story names its files ignoring case, with "\" as the separator. A name
// is looked up
//   1. as written, "\" read as "/";
//   2. component by component, ignoring the case of ASCII letters (a
//      Shift-JIS double-byte character is compared whole, never folded by
//      its bytes);
//   3. as the same name converted from code page 932 to UTF-8 (for stories
//      whose files were unpacked with their names converted), as written and
//      then ignoring case.
// When nothing matches, the leading folders that do match are kept and the
// rest is used as written, so that a save goes into "data/" when the story's
// folder is spelled so.
//
// Folders that hold several case variants leading back into themselves
// ("abc", "ABC", ... all links to ".") would make the search try every
// combination; one lookup reads at most kMaxDirectoryReads folders and
// answers "not found" past that.
#pragma once

#include <string>

namespace ks {

inline constexpr int kMaxDirectoryReads = 256;

struct StoryFile {
  std::string path;      // the path to open: the story folder, then the name
  std::string relative;  // the same, inside the story folder
  bool found = false;    // something exists at `path`
  bool exact = false;    // found as written (step 1)
  int directoryReads = 0;  // folders read to find it
};

// Looks `name` (CP932 bytes) up inside the story folder `root`.
StoryFile FindStoryFile(const std::string& root, const char* name);

// The path to open for `name`: FindStoryFile's path.
std::string StoryPath(const std::string& root, const char* name);

}  // namespace ks

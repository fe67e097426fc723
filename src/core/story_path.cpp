#include "core/story_path.h"

#include <algorithm>
#include <vector>

#include "core/file_io.h"
#include "core/machine.h"
#include "core/sjis.h"

namespace ks {
namespace {

bool Exists(const std::string& path) { return PathExists(path); }

// The name's folders and file, "\" and "/" both separating. A 0x5C that
// trails a lead byte is half of a character ("ソ" is 83 5C), not a separator.
std::vector<std::string> Components(const std::string& name, bool shiftJis) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < name.size(); ++i) {
    const auto b = uint8_t(name[i]);
    if (shiftJis && IsSjisLeadByte(b) && i + 1 < name.size()) {
      parts.back() += name.substr(i, 2);
      ++i;
    } else if (b == '\\' || b == '/') {
      parts.emplace_back();
    } else {
      parts.back() += char(b);
    }
  }
  parts.erase(std::remove(parts.begin(), parts.end(), std::string()), parts.end());
  return parts;
}

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Equal but for the case of ASCII letters. In Shift-JIS a lead byte and the
// byte after it are one character and must match exactly.
bool SameIgnoringCase(const std::string& a, const std::string& b, bool shiftJis) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (shiftJis && IsSjisLeadByte(uint8_t(a[i])) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (Fold(a[i]) != Fold(b[i])) {
      return false;
    }
  }
  return true;
}

// The entries of `folder` that `part` may name: itself when it exists, then
// those that match it ignoring case, in byte order so that the choice never
// depends on the order of the disk.
std::vector<std::string> Candidates(const std::string& folder, const std::string& part, bool shiftJis) {
  std::vector<std::string> found;
  if (Exists(folder + "/" + part)) found.push_back(part);
  if (std::vector<std::string> names; TheMachine().ListFolder(folder, &names)) {
    std::vector<std::string> others;
    for (const std::string& name : names) {
      if (name != part && SameIgnoringCase(name, part, shiftJis)) others.push_back(name);
    }
    std::sort(others.begin(), others.end());
    found.insert(found.end(), others.begin(), others.end());
  }
  return found;
}

struct Walk {
  std::string relative;  // the components resolved, then the rest as written
  bool found = false;
};

std::string Join(const std::string& a, const std::string& b) { return a.empty() ? b : a + "/" + b; }

// Resolves parts[i..] under root/relative, trying each candidate of a
// component in turn (a story may hold both "DATA" and "Data"). When none
// leads to a file, gives the first candidates as far as they go and the rest
// as written. Each folder read counts in `*reads`; past kMaxDirectoryReads
// nothing more is read, so nothing more is found.
Walk Resolve(const std::string& root, const std::string& relative, const std::vector<std::string>& parts, size_t i,
             bool shiftJis, int* reads) {
  if (i == parts.size()) return {relative, true};
  std::vector<std::string> candidates;
  if (*reads < kMaxDirectoryReads) {
    ++*reads;
    candidates = Candidates(relative.empty() ? root : root + "/" + relative, parts[i], shiftJis);
  }
  Walk first;
  for (const std::string& candidate : candidates) {
    Walk walk = Resolve(root, Join(relative, candidate), parts, i + 1, shiftJis, reads);
    if (walk.found) return walk;
    if (first.relative.empty()) first = std::move(walk);
  }
  if (!first.relative.empty()) return first;
  Walk rest{relative, false};
  for (size_t j = i; j < parts.size(); ++j) rest.relative = Join(rest.relative, parts[j]);
  return rest;
}

}  // namespace

StoryFile FindStoryFile(const std::string& root, const char* name) {
  const std::string base = root.empty() ? std::string(".") : root;
  int reads = 0;
  auto result = [&](const Walk& walk, bool exact) {
    return StoryFile{base + "/" + walk.relative, walk.relative, walk.found, exact, reads};
  };

  const std::vector<std::string> parts = Components(name, /*shiftJis=*/true);
  std::string asWritten;
  for (const std::string& part : parts) asWritten += (asWritten.empty() ? "" : "/") + part;
  if (!parts.empty() && Exists(base + "/" + asWritten)) return result({asWritten, true}, true);
  if (parts.empty()) return result({"", false}, false);

  const Walk walk = Resolve(base, "", parts, 0, /*shiftJis=*/true, &reads);
  if (walk.found) return result(walk, false);

  // A story unpacked with its names converted to UTF-8.
  if (std::string utf8; Cp932ToUtf8(name, &utf8) && utf8 != name) {
    const Walk converted = Resolve(base, "", Components(utf8, /*shiftJis=*/false), 0, /*shiftJis=*/false, &reads);
    if (converted.found) return result(converted, false);
  }
  return result(walk, false);
}

std::string StoryPath(const std::string& root, const char* name) { return FindStoryFile(root, name).path; }

}  // namespace ks

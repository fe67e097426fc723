// Watches a story's folder for files that change on disk, through inotify:
// written and closed, renamed into place (as editors save), deleted. A change
// is handed on once its file has been quiet for a moment, since an editor may
// write a file in several steps (empty first, then the text).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ks {

class StoryWatch {
 public:
  static constexpr uint32_t kSettleMs = 150;  // quiet time before a change counts
  static constexpr size_t kMaxFolders = 256;  // watched at most, nearest to the story folder first

  // `clockMs` (tests) replaces the steady clock the quiet time is measured on.
  explicit StoryWatch(uint32_t settleMs = kSettleMs, std::function<uint64_t()> clockMs = {});
  ~StoryWatch();
  StoryWatch(const StoryWatch&) = delete;
  StoryWatch& operator=(const StoryWatch&) = delete;

  // Watches `root` and the folders below it: the root and its DATA/ first,
  // then folder by folder, nearest first, up to kMaxFolders (one line on
  // stderr when some are left out). Returns false with a reason.
  bool Start(const std::string& root, std::string* error);
  // The descriptor that becomes readable when something changed, and again
  // when the quiet time after it has passed.
  int fd() const { return pollFd_; }
  // The files changed, relative to the root, once no change has come for the
  // quiet time; never waits. Returns false when there are none yet.
  bool TakeChanges(std::vector<std::string>* changed);
  // Folders left unwatched past kMaxFolders (as far as they were counted).
  size_t leftOut() const { return leftOut_; }

 private:
  void WatchTree(const std::string& relative, int depth);
  bool ReadEvents();
  uint64_t Now() const;

  std::string root_;
  uint32_t settleMs_;
  std::function<uint64_t()> clockMs_;
  int inotifyFd_ = -1, timerFd_ = -1, pollFd_ = -1;
  std::map<int, std::string> folders_;  // watch descriptor -> folder, relative to the root
  size_t leftOut_ = 0;
  bool leftOutSaid_ = false;
  std::vector<std::string> pending_;  // changed, not yet quiet
  uint64_t lastChangeMs_ = 0;
};

}  // namespace ks

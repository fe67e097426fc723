// Watches a story's folder for files that change on disk, through inotify:
// written and closed, renamed into place (as editors save), created, deleted.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ks {

class StoryWatch {
 public:
  StoryWatch() = default;
  ~StoryWatch();
  StoryWatch(const StoryWatch&) = delete;
  StoryWatch& operator=(const StoryWatch&) = delete;

  // Watches `root` and the folders below it. Returns false with a reason.
  bool Start(const std::string& root, std::string* error);
  // The descriptor that becomes readable when something changed.
  int fd() const { return fd_; }
  // The files changed since the last call, relative to the root, without
  // waiting. Returns false when nothing changed.
  bool TakeChanges(std::vector<std::string>* changed);

 private:
  void Watch(const std::string& relative, int depth);

  std::string root_;
  int fd_ = -1;
  std::map<int, std::string> folders_;  // watch descriptor -> folder, relative to the root
};

}  // namespace ks

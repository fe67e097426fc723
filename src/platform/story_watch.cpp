#include "platform/story_watch.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ks {
namespace {

constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_ATTRIB;
constexpr size_t kMaxFolders = 256;
constexpr int kMaxDepth = 8;

std::string Join(const std::string& a, const std::string& b) { return a.empty() ? b : a + "/" + b; }

}  // namespace

StoryWatch::~StoryWatch() {
  if (fd_ >= 0) close(fd_);
}

bool StoryWatch::Start(const std::string& root, std::string* error) {
  root_ = root;
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    if (error) *error = std::string("cannot watch the story: ") + std::strerror(errno);
    return false;
  }
  Watch("", 0);
  if (folders_.empty()) {
    if (error) *error = "cannot watch the story folder " + root;
    return false;
  }
  return true;
}

void StoryWatch::Watch(const std::string& relative, int depth) {
  if (folders_.size() >= kMaxFolders || depth > kMaxDepth) return;
  const std::string path = relative.empty() ? root_ : root_ + "/" + relative;
  const int wd = inotify_add_watch(fd_, path.c_str(), kEvents | IN_ONLYDIR);
  if (wd < 0 || folders_.count(wd)) return;  // a folder seen twice (a link back up) is watched once
  folders_[wd] = relative;
  DIR* dir = opendir(path.c_str());
  if (!dir) return;
  std::vector<std::string> below;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (lstat((path + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) below.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : below) Watch(Join(relative, name), depth + 1);
}

bool StoryWatch::TakeChanges(std::vector<std::string>* changed) {
  changed->clear();
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += ssize_t(sizeof(inotify_event) + event->len);
      const auto folder = folders_.find(event->wd);
      if (folder == folders_.end() || event->len == 0) continue;
      const std::string name = Join(folder->second, event->name);
      if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))) Watch(name, 1);
      if (std::find(changed->begin(), changed->end(), name) == changed->end()) changed->push_back(name);
    }
  }
  return !changed->empty();
}

}  // namespace ks

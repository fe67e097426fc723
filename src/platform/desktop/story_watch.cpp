#include "platform/desktop/story_watch.h"

#include <dirent.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>

#include "core/report.h"

namespace ks {
namespace {

// A file counts when its writer closes it or it is renamed into place, never
// while it is being written; a file created counts at its close. Folders
// created or moved in are watched in their turn.
constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_ATTRIB;
constexpr int kMaxDepth = 8;

std::string Join(const std::string& a, const std::string& b) { return a.empty() ? b : a + "/" + b; }

bool IsDataFolder(const std::string& name) {
  return name.size() == 4 && std::equal(name.begin(), name.end(), "data", [](char a, char b) {
           return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
         });
}

}  // namespace

StoryWatch::StoryWatch(uint32_t settleMs, std::function<uint64_t()> clockMs)
    : settleMs_(settleMs), clockMs_(std::move(clockMs)) {}

StoryWatch::~StoryWatch() {
  for (const int fd : {pollFd_, timerFd_, inotifyFd_}) {
    if (fd >= 0) close(fd);
  }
}

uint64_t StoryWatch::Now() const {
  if (clockMs_) return clockMs_();
  return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

bool StoryWatch::Start(const std::string& root, std::string* error) {
  root_ = root;
  // One descriptor to wait on: the changes, and the end of the quiet time.
  inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  pollFd_ = epoll_create1(EPOLL_CLOEXEC);
  bool ok = inotifyFd_ >= 0 && timerFd_ >= 0 && pollFd_ >= 0;
  for (const int fd : {inotifyFd_, timerFd_}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    ok = ok && epoll_ctl(pollFd_, EPOLL_CTL_ADD, fd, &event) == 0;
  }
  if (!ok) {
    if (error) *error = std::string("cannot watch the story: ") + std::strerror(errno);
    return false;
  }
  WatchTree("", 0);
  if (folders_.empty()) {
    if (error) *error = "cannot watch the story folder " + root;
    return false;
  }
  return true;
}

// Breadth first, so that the folders a story uses most (its own and DATA/)
// are never the ones a deep tree elsewhere crowds out.
void StoryWatch::WatchTree(const std::string& top, int depth) {
  std::deque<std::pair<std::string, int>> queue{{top, depth}};
  size_t left = 0;
  while (!queue.empty()) {
    const std::string relative = queue.front().first;
    const int level = queue.front().second;
    queue.pop_front();
    if (folders_.size() >= kMaxFolders) {
      left += 1 + queue.size();
      break;
    }
    const std::string path = relative.empty() ? root_ : root_ + "/" + relative;
    const int wd = inotify_add_watch(inotifyFd_, path.c_str(), kEvents | IN_ONLYDIR);
    if (wd < 0) {
      left += errno == ENOSPC ? 1 : 0;  // the system's own limit on watches
      continue;
    }
    if (folders_.count(wd)) continue;  // a folder seen twice (a link back up) is watched once
    folders_[wd] = relative;
    DIR* dir = opendir(path.c_str());
    if (!dir) continue;
    std::vector<std::string> below;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct stat info {};
      if (lstat((path + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) below.push_back(name);
    }
    closedir(dir);
    if (level >= kMaxDepth) {
      left += below.size();
      continue;
    }
    std::sort(below.begin(), below.end(), [&](const std::string& a, const std::string& b) {
      const bool dataA = relative.empty() && IsDataFolder(a), dataB = relative.empty() && IsDataFolder(b);
      return dataA != dataB ? dataA : a < b;
    });
    for (const std::string& name : below) queue.emplace_back(Join(relative, name), level + 1);
  }
  leftOut_ += left;
  if (left > 0 && !leftOutSaid_) {
    leftOutSaid_ = true;
    Report("watching " + std::to_string(folders_.size()) + " of the story's folders, the story folder and DATA/ " +
           "first: changes in " + std::to_string(left) + " or more folders further down go unseen");
  }
}

// Reads what inotify has; returns whether any of it was a change.
bool StoryWatch::ReadEvents() {
  bool any = false;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = read(inotifyFd_, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += ssize_t(sizeof(inotify_event) + event->len);
      const auto folder = folders_.find(event->wd);
      if (folder == folders_.end()) continue;
      if (event->mask & IN_IGNORED) {  // the folder is gone
        folders_.erase(folder);
        continue;
      }
      if (event->len == 0) continue;
      const bool isFolder = event->mask & IN_ISDIR;
      if (!isFolder && (event->mask & IN_CREATE)) continue;  // it counts when its writer closes it
      const std::string name = Join(folder->second, event->name);
      if (isFolder && (event->mask & (IN_CREATE | IN_MOVED_TO))) {
        WatchTree(name, int(std::count(name.begin(), name.end(), '/')) + 1);
      }
      if (std::find(pending_.begin(), pending_.end(), name) == pending_.end()) pending_.push_back(name);
      any = true;
    }
  }
  return any;
}

bool StoryWatch::TakeChanges(std::vector<std::string>* changed) {
  changed->clear();
  const bool fresh = ReadEvents();
  uint64_t expirations = 0;
  while (read(timerFd_, &expirations, sizeof expirations) > 0) {
  }
  const uint64_t now = Now();
  if (fresh) lastChangeMs_ = now;
  if (pending_.empty()) return false;
  const uint64_t quiet = now - lastChangeMs_;
  if (quiet < settleMs_) {  // wake again when the quiet time has passed
    itimerspec when{};
    const uint64_t wait = settleMs_ - quiet;
    when.it_value.tv_sec = time_t(wait / 1000);
    when.it_value.tv_nsec = long(wait % 1000) * 1000000;
    timerfd_settime(timerFd_, 0, &when, nullptr);
    return false;
  }
  changed->swap(pending_);
  return true;
}

}  // namespace ks

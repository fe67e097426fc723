#include "platform/desktop/desktop_machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace ks::desktop {
namespace {

bool Fail(std::string* error, const std::string& what, const std::string& path, const char* why) {
  if (error) *error = "cannot " + what + " " + path + ": " + why;
  return false;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a write to `path` lands in: symbolic links followed (a relative
// target read from the link's folder), at most 40 of them as the system
// allows. A link to nothing yet gives the path it names.
bool FollowLinks(std::string* path) {
  for (int links = 0; links <= 40; ++links) {
    struct stat info {};
    if (lstat(path->c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::vector<char> target(size_t(info.st_size > 0 ? info.st_size : 4096) + 1);
    const ssize_t n = readlink(path->c_str(), target.data(), target.size());
    if (n < 0 || size_t(n) >= target.size()) return false;
    const std::string to(target.data(), size_t(n));
    *path = to.front() == '/' ? to : FolderOf(*path) + "/" + to;
  }
  errno = ELOOP;
  return false;
}

// Whether `name` is one mkstemp makes for `base`: base, a dot, then six
// letters or digits.
bool IsTemporaryOf(const std::string& name, const std::string& base) {
  if (name.size() != base.size() + 7 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '.') {
    return false;
  }
  for (size_t i = base.size() + 1; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

void RemoveTemporariesBefore(const std::string& path, const timespec& start) {
  const std::string folder = FolderOf(path), base = NameOf(path);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* e = readdir(dir)) {
    if (!IsTemporaryOf(e->d_name, base)) continue;
    const std::string temp = folder + "/" + e->d_name;
    struct stat info {};
    if (lstat(temp.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const timespec& m = info.st_mtim;
    if (m.tv_sec < start.tv_sec || (m.tv_sec == start.tv_sec && m.tv_nsec < start.tv_nsec)) unlink(temp.c_str());
  }
  closedir(dir);
}

}  // namespace

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes,
                   std::string* error) {
  // Opened without waiting, so that a FIFO named like a story file cannot
  // hold the player; only a regular file is read.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(error, "read", path, std::strerror(errno));
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const bool folder = S_ISDIR(info.st_mode);
    close(fd);
    return Fail(error, "read", path, folder ? std::strerror(EISDIR) : "not a regular file");
  }
  std::vector<uint8_t> data;
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int err = errno;
      close(fd);
      return Fail(error, "read", path, std::strerror(err));
    }
    if (got == 0) break;
    if (size_t(got) > maxBytes - data.size()) {
      close(fd);
      return Fail(error, "read", path, "the file is too large");
    }
    data.insert(data.end(), chunk, chunk + got);
  }
  close(fd);
  data.shrink_to_fit();
  *bytes = std::move(data);
  return true;
}

bool ReplaceFile(const std::string& named, const uint8_t* bytes, size_t size, std::string* error) {
  // A link is followed: its target is replaced, in the target's own folder.
  std::string path = named;
  if (!FollowLinks(&path)) return Fail(error, "write", named, std::strerror(errno));
  // A read-only file is the reader's wish to keep it (root could write it);
  // a device, FIFO or folder in its place (a link to /dev/null, say, to
  // forget it) is never replaced by a plain file.
  struct stat old {};
  const bool exists = stat(path.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return Fail(error, "write", named, "not a regular file; left as it is");
  if (exists && (old.st_mode & 0222) == 0) return Fail(error, "write", named, "the file is read-only");
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return Fail(error, "write", named, std::strerror(errno));
  auto abandon = [&](int err) {
    close(fd);
    unlink(temp.c_str());
    return Fail(error, "write", named, std::strerror(err));
  };
  // mkstemp makes the file 0600: the file replaced keeps its mode, and a new
  // one is as readable as any other.
  if (exists) {
    fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return abandon(n < 0 ? errno : ENOSPC);
    done += size_t(n);
  }
  if (fsync(fd) != 0) return abandon(errno);
  if (close(fd) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return Fail(error, "write", named, std::strerror(err));
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return Fail(error, "write", named, std::strerror(err));
  }
  // Make the rename itself durable.
  const int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void RemoveStaleTemporaries(const std::string& path, const timespec& start) {
  if (path.empty() || path.back() == '/') return;
  RemoveTemporariesBefore(path, start);
  // Those of a link's target lie beside the target.
  std::string target = path;
  if (FollowLinks(&target) && target != path) RemoveTemporariesBefore(target, start);
}

bool MapFile(const std::string& path, std::shared_ptr<const void>* keep, const uint8_t** bytes, size_t* size,
             std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(std::strerror(errno));
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return fail("not a regular file");
  }
  const size_t length = size_t(info.st_size);
  void* mapped = length ? mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
  close(fd);
  if (mapped == MAP_FAILED) return fail(std::strerror(errno));
  *bytes = static_cast<const uint8_t*>(mapped);
  *size = length;
  *keep = std::shared_ptr<const void>(mapped, [length](const void* p) {
    if (length) munmap(const_cast<void*>(p), length);
  });
  return true;
}

}  // namespace ks::desktop

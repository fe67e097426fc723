#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ks {
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

bool ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return Fail(error, "write", path, std::strerror(errno));
  auto abandon = [&](int err) {
    close(fd);
    unlink(temp.c_str());
    return Fail(error, "write", path, std::strerror(err));
  };
  // mkstemp makes the file 0600; a save file is as readable as any other.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
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
    return Fail(error, "write", path, std::strerror(err));
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return Fail(error, "write", path, std::strerror(err));
  }
  // Make the rename itself durable.
  const int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

}  // namespace ks

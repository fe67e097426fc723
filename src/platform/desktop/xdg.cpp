#include "platform/desktop/desktop_machine.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace ks::desktop {
namespace {

// The home folder, or "" without one: the working folder is no place for a
// reader's data.
std::string Home() {
  const char* home = std::getenv("HOME");
  return home && home[0] == '/' ? home : "";
}

// An absolute path from the environment variable `name`, or `fallback`
// under the home folder ("" when there is neither).
std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  if (value && value[0] == '/') return value;
  return Home().empty() ? "" : Home() + fallback;
}

std::string Ours(const std::string& folder) { return folder.empty() ? "" : folder + "/kamishibai"; }

}  // namespace

std::string ConfigFolder() { return Ours(FromEnvironment("XDG_CONFIG_HOME", "/.config")); }

std::string DataFolder() { return Ours(FromEnvironment("XDG_DATA_HOME", "/.local/share")); }

std::string CacheFolder() { return Ours(FromEnvironment("XDG_CACHE_HOME", "/.cache")); }

// user-dirs.dirs holds lines like XDG_PICTURES_DIR="$HOME/Bilder".
std::string PicturesFolder() {
  std::string folder = Home().empty() ? "" : Home() + "/Pictures";
  const std::string config = FromEnvironment("XDG_CONFIG_HOME", "/.config");
  std::ifstream dirs(config.empty() ? "" : config + "/user-dirs.dirs");
  const std::string key = "XDG_PICTURES_DIR=\"";
  for (std::string line; std::getline(dirs, line);) {
    if (line.rfind(key, 0) != 0 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = Home().empty() ? "" : Home() + value.substr(5);
    if (!value.empty() && value[0] == '/') folder = value;
  }
  return Ours(folder);
}

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return errno = ENOENT, false;
  for (size_t slash = 1; slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    mkdir(folder.substr(0, slash).c_str(), 0755);
  }
  struct stat info {};
  return mkdir(folder.c_str(), 0755) == 0 || (stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

}  // namespace ks::desktop

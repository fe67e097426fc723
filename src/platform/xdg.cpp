#include "platform/xdg.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace ks {
namespace {

std::string Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : ".";
}

// An absolute path from the environment variable `name`, or `fallback`.
std::string FromEnvironment(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? value : fallback;
}

}  // namespace

std::string ConfigFolder() { return FromEnvironment("XDG_CONFIG_HOME", Home() + "/.config") + "/kamishibai"; }

std::string DataFolder() { return FromEnvironment("XDG_DATA_HOME", Home() + "/.local/share") + "/kamishibai"; }

// user-dirs.dirs holds lines like XDG_PICTURES_DIR="$HOME/Bilder".
std::string PicturesFolder() {
  std::string folder = Home() + "/Pictures";
  std::ifstream dirs(FromEnvironment("XDG_CONFIG_HOME", Home() + "/.config") + "/user-dirs.dirs");
  const std::string key = "XDG_PICTURES_DIR=\"";
  for (std::string line; std::getline(dirs, line);) {
    if (line.rfind(key, 0) != 0 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
    if (!value.empty() && value[0] == '/') folder = value;
  }
  return folder + "/kamishibai";
}

bool MakeFolders(const std::string& folder) {
  for (size_t slash = 1; slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    mkdir(folder.substr(0, slash).c_str(), 0755);
  }
  struct stat info {};
  return mkdir(folder.c_str(), 0755) == 0 || (stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

}  // namespace ks

#include "platform/desktop/install_paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/file_io.h"

namespace ks {
namespace {

// Relative to the folder the program is in; the build works both out from
// its install layout and its output folders.
constexpr const char* kDemoPlaces[] = {KS_INSTALLED_DEMO_FROM_BIN, KS_BUILD_DEMO_FROM_BIN};

// The folder the running program is in; the kernel's link is its real path,
// whatever it was started as. Empty when it cannot be read.
std::filesystem::path ProgramFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self.parent_path();
}

}  // namespace

bool InstalledWithThePlayer(const std::string& folder) {
  const std::filesystem::path bin = ProgramFolder();
  if (bin.empty()) return false;
  std::error_code error;
  const std::filesystem::path ours =
      std::filesystem::canonical((bin / KS_INSTALLED_DEMO_FROM_BIN).parent_path(), error);
  if (error) return false;  // not installed: a build folder
  const std::filesystem::path story = std::filesystem::canonical(folder, error);
  if (error) return false;
  const auto [end, unused] = std::mismatch(ours.begin(), ours.end(), story.begin(), story.end());
  return end == ours.end();
}

std::string FindDemoStory() {
  const std::filesystem::path self = ProgramFolder() / "kamishibai";
  if (self == "kamishibai") return "";
  for (const char* place : kDemoPlaces) {
    const std::filesystem::path story = (self.parent_path() / place).lexically_normal();
    if (IsRegularFile((story / "DATA" / "Script.txt").string())) return story.string();
  }
  return "";
}

}  // namespace ks

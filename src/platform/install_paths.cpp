#include "platform/install_paths.h"

#include <filesystem>
#include <system_error>

#include "platform/file_io.h"

namespace ks {
namespace {

// Relative to the folder the program is in; the build works both out from
// its install layout and its output folders.
constexpr const char* kDemoPlaces[] = {KS_INSTALLED_DEMO_FROM_BIN, KS_BUILD_DEMO_FROM_BIN};

}  // namespace

std::string FindDemoStory() {
  // The kernel's link is the program's real path, whatever it was started as.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "";
  for (const char* place : kDemoPlaces) {
    const std::filesystem::path story = (self.parent_path() / place).lexically_normal();
    if (IsRegularFile((story / "DATA" / "Script.txt").string())) return story.string();
  }
  return "";
}

}  // namespace ks

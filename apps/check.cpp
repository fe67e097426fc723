// kamishibai-check: reads a story's script as the player does and prints
// what will go wrong when it is played, one line per problem in the form
// compilers use, so that an editor can jump to each.
#include <cstdio>
#include <string>

#include "ks_version.h"
#include "script/checker.h"

namespace {

constexpr const char* kUsage =
    "usage: kamishibai-check [-C DIR]\n"
    "  -C DIR  the story folder, holding DATA/ (default: the working directory)\n"
    "  --version  prints the version\n"
    "Prints each problem as FILE:LINE:COLUMN: error|warning: message; exits 1 when there is an error.\n";

int UsageError(const std::string& why) {
  std::fprintf(stderr, "kamishibai-check: %s\n%s", why.c_str(), kUsage);
  return 2;
}

std::string Count(int n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

}  // namespace

int main(int argc, char** argv) {
  std::string folder = ".";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("kamishibai-check %s\n", ks::kVersion);
      return 0;
    }
    if (arg != "-C") return UsageError("unknown argument " + arg);
    if (i + 1 >= argc) return UsageError("-C needs a value");
    folder = argv[++i];
  }

  ks::StoryCheck check;
  std::string error;
  if (!ks::CheckStory(folder, &check, &error)) {
    std::fprintf(stderr, "kamishibai-check: %s\n", error.c_str());
    return 1;
  }
  int errors = 0, warnings = 0;
  for (const ks::Finding& f : check.findings) {
    const bool isError = f.severity == ks::Severity::kError;
    (isError ? errors : warnings)++;
    std::printf("%s:%u:%u: %s: %s\n", check.scriptName.c_str(), f.line, f.column, isError ? "error" : "warning",
                f.message.c_str());
  }
  if (errors + warnings == 0) {
    std::printf("%s: no problems found\n", check.scriptName.c_str());
  } else {
    std::printf("%s: %s, %s\n", check.scriptName.c_str(), Count(errors, "error").c_str(), Count(warnings, "warning").c_str());
  }
  return errors > 0 ? 1 : 0;
}

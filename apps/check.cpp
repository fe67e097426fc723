// kamishibai-check: reads a story's script as the player does and prints
// what will go wrong when it is played, one line per problem in the form
// compilers use, or a JSON array, so that an editor can jump to each.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "ks_version.h"
#include "script/checker.h"
#include "script/script_file.h"
#include "platform/desktop/desktop_machine.h"

namespace {

constexpr const char* kUsage =
    "usage: kamishibai-check [-C DIR] [--json] [STORY]\n"
    "  STORY   the story folder (holding DATA/), its DATA/ folder or its DATA/Script.txt (default: .)\n"
    "  -C DIR  look for STORY inside DIR\n"
    "  --json  print the findings as a JSON array of {file, line, column, severity, message}\n"
    "  --help  print this and exit; --version: print the version\n"
    "Prints each problem as FILE:LINE:COLUMN: error|warning: message (columns count characters);\n"
    "exits 1 when there is an error or the script cannot be read, 2 for bad arguments.\n";

int UsageError(const std::string& why) {
  std::fprintf(stderr, "kamishibai-check: %s\n%s", why.c_str(), kUsage);
  return 2;
}

std::string Count(int n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

}  // namespace

int main(int argc, char** argv) {
  ks::UseMachine(&ks::Desktop());  // this program's files and fonts are the desktop's
  std::string folder;
  std::string story = ".";
  bool storyGiven = false;
  bool json = false;
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
    if (arg == "--json") {
      json = true;
    } else if (arg == "-C") {
      if (i + 1 >= argc) return UsageError("-C needs a value");
      folder = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else if (storyGiven) {
      return UsageError("one STORY only, not also " + arg);
    } else {
      story = arg;
      storyGiven = true;
    }
  }
  if (!folder.empty() && !story.starts_with("/")) story = story == "." ? folder : folder + "/" + story;

  ks::StoryCheck check;
  std::string error;
  if (!ks::CheckStory(ks::StoryRootFor(story), &check, &error)) {
    // A program reading --json gets an answer it can parse.
    if (json) {
      const nlohmann::ordered_json answer = {{"error", error}};
      std::puts(answer.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
    }
    std::fprintf(stderr, "kamishibai-check: %s\n", error.c_str());
    return 1;
  }
  int errors = 0, warnings = 0;
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const ks::Finding& f : check.findings) {
    const bool isError = f.severity == ks::Severity::kError;
    (isError ? errors : warnings)++;
    if (json) {
      list.push_back({{"file", check.scriptPath},
                      {"line", f.line},
                      {"column", f.column},
                      {"severity", isError ? "error" : "warning"},
                      {"message", f.message}});
    } else {
      std::printf("%s:%u:%u: %s: %s\n", check.scriptPath.c_str(), f.line, f.column, isError ? "error" : "warning",
                  f.message.c_str());
    }
  }
  if (json) {
    // Names the story gives are bytes of any kind; what is not UTF-8 is replaced.
    std::puts(list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
  } else if (errors + warnings == 0) {
    std::printf("%s: no problems found\n", check.scriptPath.c_str());
  } else {
    std::printf("%s: %s, %s\n", check.scriptPath.c_str(), Count(errors, "error").c_str(),
                Count(warnings, "warning").c_str());
  }
  return errors > 0 ? 1 : 0;
}

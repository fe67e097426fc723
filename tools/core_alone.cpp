// The core linked alone, with nothing of the desktop: plays the first page of
// a story held in memory and says what it read. Built by -DKS_CORE_ONLY=ON.
#include <cstdio>
#include <cstring>

#include "core/engine_state.h"
#include "core/machine.h"
#include "script/interpreter.h"
#include "script/label_index.h"
#include "script/script_file.h"

namespace {

// One file, the script, and nothing else.
class OneScript : public ks::Machine {
 public:
  explicit OneScript(std::string script) : script_(std::move(script)) {}
  bool Exists(const std::string& path) override { return path == kPath || path == "story" || path == "story/DATA"; }
  bool IsRegularFile(const std::string& path) override { return path == kPath; }
  bool ListFolder(const std::string&, std::vector<std::string>*) override { return false; }
  bool Stamp(const std::string&, std::array<uint64_t, 5>* stamp) override { return *stamp = {}, false; }
  bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes,
                     std::string* error) override {
    if (path != kPath || script_.size() > maxBytes) return *error = "cannot read " + path, false;
    bytes->assign(script_.begin(), script_.end());
    return true;
  }
  bool ReplaceFile(const std::string&, const uint8_t*, size_t, std::string*) override { return false; }
  void RemoveStaleTemporaries(const std::string&, const timespec&) override {}
  bool MakeFolders(const std::string&) override { return false; }
  bool WritePicture(const std::string&, const ks::Surface&, std::string*) override { return false; }
  bool EncodePicture(const ks::Surface&, std::vector<uint8_t>*) override { return false; }
  bool ReadPicture(const std::string&, size_t, ks::Surface*, std::string*) override { return false; }
  bool FolderWritable(const std::string&) override { return false; }
  std::string ConfigFolder() override { return ""; }
  std::string DataFolder() override { return ""; }
  std::string CacheFolder() override { return ""; }
  std::string PicturesFolder() override { return ""; }
  bool FindFont(const ks::FontRequest&, ks::FontFile*, std::string* error) override {
    return *error = "no fonts", false;
  }

 private:
  static constexpr const char* kPath = "story/DATA/Script.txt";
  std::string script_;
};

}  // namespace

int main() {
  OneScript machine("@Rhello from the core@E");
  ks::UseMachine(&machine);
  ks::EngineState state;
  state.storyRoot = "story";
  std::string error;
  if (!ks::LoadScript(state, &error)) return std::fprintf(stderr, "core_alone: %s\n", error.c_str()), 1;
  ks::BuildLabelIndex(state);
  ks::RunScript(state);
  const std::string page(state.page.pageText, state.page.pageLength);
  std::printf("core_alone: the first page is \"%s\"\n", page.c_str());
  return page.find("hello from the core") == std::string::npos;
}

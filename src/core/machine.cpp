#include "core/machine.h"

#include "core/file_io.h"
#include "core/xdg.h"

namespace ks {
namespace {

// Before a backend gives its machine: nothing to read, nowhere to write.
class NoMachine : public Machine {
 public:
  bool Exists(const std::string&) override { return false; }
  bool IsRegularFile(const std::string&) override { return false; }
  bool ListFolder(const std::string&, std::vector<std::string>*) override { return false; }
  bool Stamp(const std::string&, std::array<uint64_t, 5>* stamp) override { return *stamp = {}, false; }
  bool ReadWholeFile(const std::string& path, size_t, std::vector<uint8_t>*, std::string* error) override {
    return Fail(error, "cannot read " + path + ": no files here");
  }
  bool ReplaceFile(const std::string& path, const uint8_t*, size_t, std::string* error) override {
    return Fail(error, "cannot write " + path + ": no files here");
  }
  void RemoveStaleTemporaries(const std::string&, const timespec&) override {}
  bool MakeFolders(const std::string&) override { return false; }
  bool WritePicture(const std::string& path, const Surface&, std::string* error) override {
    return Fail(error, "cannot write " + path + ": no files here");
  }
  bool EncodePicture(const Surface&, std::vector<uint8_t>*) override { return false; }
  bool ReadPicture(const std::string& path, size_t, Surface*, std::string* error) override {
    return Fail(error, "cannot read " + path + ": no files here");
  }
  bool FolderWritable(const std::string&) override { return false; }
  std::string ConfigFolder() override { return ""; }
  std::string DataFolder() override { return ""; }
  std::string CacheFolder() override { return ""; }
  std::string PicturesFolder() override { return ""; }
  bool FindFont(const FontRequest&, FontFile*, std::string* error) override {
    return Fail(error, "no Japanese font found (no fonts here)");
  }

 private:
  static bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
  }
};

NoMachine noMachine;
Machine* machine = &noMachine;

}  // namespace

bool Machine::MapFile(const std::string& path, std::shared_ptr<const void>* keep, const uint8_t** bytes,
                      size_t* size, std::string* error) {
  auto read = std::make_shared<std::vector<uint8_t>>();
  if (!ReadWholeFile(path, size_t{1} << 30, read.get(), error)) return false;
  *bytes = read->data();
  *size = read->size();
  *keep = std::move(read);
  return true;
}

void UseMachine(Machine* given) { machine = given ? given : &noMachine; }
Machine& TheMachine() { return *machine; }

bool PathExists(const std::string& path) { return machine->Exists(path); }
bool PathMissing(const std::string& path) { return machine->Missing(path); }
bool FileStamp(const std::string& path, std::array<uint64_t, 5>* stamp) { return machine->Stamp(path, stamp); }
bool WritePicture(const std::string& path, const Surface& surface, std::string* error) {
  return machine->WritePicture(path, surface, error);
}
bool ReadPicture(const std::string& path, size_t maxPixels, Surface* picture, std::string* error) {
  return machine->ReadPicture(path, maxPixels, picture, error);
}
bool EncodePicture(const Surface& surface, std::vector<uint8_t>* bytes) {
  return machine->EncodePicture(surface, bytes);
}
bool FolderWritable(const std::string& folder) { return machine->FolderWritable(folder); }
int64_t FileTime(const std::string& path) {
  std::array<uint64_t, 5> stamp{};
  if (!machine->IsRegularFile(path) || !machine->Stamp(path, &stamp)) return 0;
  return int64_t(stamp[3]) * 1000000000 + int64_t(stamp[4]);
}
bool IsRegularFile(const std::string& path) { return machine->IsRegularFile(path); }
bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes, std::string* error) {
  return machine->ReadWholeFile(path, maxBytes, bytes, error);
}
bool ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error) {
  return machine->ReplaceFile(path, bytes, size, error);
}
void RemoveStaleTemporaries(const std::string& path, const timespec& start) {
  machine->RemoveStaleTemporaries(path, start);
}
std::string ConfigFolder() { return machine->ConfigFolder(); }
std::string DataFolder() { return machine->DataFolder(); }
std::string CacheFolder() { return machine->CacheFolder(); }
std::string PicturesFolder() { return machine->PicturesFolder(); }
bool MakeFolders(const std::string& folder) { return machine->MakeFolders(folder); }

}  // namespace ks

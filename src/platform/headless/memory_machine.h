// A machine whose files are held in memory: a story served without a disk
// (the fuzz targets), and saves and settings that vanish with it. Folders
// exist where files are under them; no fonts.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/machine.h"

namespace ks {

class MemoryMachine : public Machine {
 public:
  // Puts a file at `path` ("/story/DATA/Script.txt"), replacing one there.
  void Put(const std::string& path, std::vector<uint8_t> bytes);
  // Puts a file of `size` zero bytes at `path` and returns them, for the
  // caller to fill in place (valid until the file is replaced).
  uint8_t* Make(const std::string& path, size_t size);

  bool Exists(const std::string& path) override;
  bool IsRegularFile(const std::string& path) override { return files_.count(Clean(path)) > 0; }
  bool ListFolder(const std::string& folder, std::vector<std::string>* names) override;
  bool Stamp(const std::string& path, std::array<uint64_t, 5>* stamp) override;
  bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes,
                     std::string* error) override;
  bool ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error) override;
  void RemoveStaleTemporaries(const std::string&, const timespec&) override {}
  bool MakeFolders(const std::string& folder) override { return !folder.empty(); }
  // A picture is held as its width and height (4 bytes each) and its pixels.
  bool WritePicture(const std::string& path, const Surface& surface, std::string* error) override;
  bool EncodePicture(const Surface& surface, std::vector<uint8_t>* bytes) override;
  bool ReadPicture(const std::string& path, size_t maxPixels, Surface* picture, std::string* error) override;
  bool FolderWritable(const std::string& folder) override { return !folder.empty(); }
  std::string ConfigFolder() override { return "/config"; }
  std::string DataFolder() override { return "/data"; }
  std::string CacheFolder() override { return ""; }
  std::string PicturesFolder() override { return "/pictures"; }
  bool FindFont(const FontRequest& request, FontFile* font, std::string* error) override;

 protected:
  // "a//b/./c" as "a/b/c": the story's lookup joins names with "/".
  static std::string Clean(const std::string& path);

 private:
  struct File {
    std::vector<uint8_t> bytes;
    uint64_t version = 0;
  };
  std::map<std::string, File> files_;
  uint64_t versions_ = 0;
};

}  // namespace ks

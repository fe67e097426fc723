#include "platform/desktop/desktop_machine.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/desktop/png.h"

namespace ks {
namespace {

class DesktopMachine : public Machine {
 public:
  bool Exists(const std::string& path) override {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
  }
  bool Missing(const std::string& path) override {
    struct stat info {};
    return stat(path.c_str(), &info) != 0 && errno == ENOENT;
  }
  bool IsRegularFile(const std::string& path) override { return desktop::IsRegularFile(path); }
  bool ListFolder(const std::string& folder, std::vector<std::string>* names) override {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    while (const dirent* e = readdir(dir)) names->emplace_back(e->d_name);
    closedir(dir);
    return true;
  }
  // Where the file lives, its size and its time.
  bool Stamp(const std::string& path, std::array<uint64_t, 5>* stamp) override {
    struct stat file {};
    const bool known = stat(path.c_str(), &file) == 0;
    *stamp = {uint64_t(file.st_dev), uint64_t(file.st_ino), uint64_t(file.st_size), uint64_t(file.st_mtim.tv_sec),
              uint64_t(file.st_mtim.tv_nsec)};
    return known;
  }
  bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes,
                     std::string* error) override {
    return desktop::ReadWholeFile(path, maxBytes, bytes, error);
  }
  bool ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error) override {
    return desktop::ReplaceFile(path, bytes, size, error);
  }
  bool MapFile(const std::string& path, std::shared_ptr<const void>* keep, const uint8_t** bytes, size_t* size,
               std::string* error) override {
    return desktop::MapFile(path, keep, bytes, size, error);
  }
  void RemoveStaleTemporaries(const std::string& path, const timespec& start) override {
    desktop::RemoveStaleTemporaries(path, start);
  }
  bool MakeFolders(const std::string& folder) override { return desktop::MakeFolders(folder); }
  bool WritePicture(const std::string& path, const Surface& surface, std::string* error) override {
    return WritePng(path, surface, error);
  }
  bool EncodePicture(const Surface& surface, std::vector<uint8_t>* bytes) override { return EncodePng(surface, bytes); }
  bool ReadPicture(const std::string& path, size_t maxPixels, Surface* picture, std::string* error) override {
    return ReadPng(path, maxPixels, picture, error);
  }
  bool FolderWritable(const std::string& folder) override {
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_IWUSR);
  }
  std::string ConfigFolder() override { return desktop::ConfigFolder(); }
  std::string DataFolder() override { return desktop::DataFolder(); }
  std::string CacheFolder() override { return desktop::CacheFolder(); }
  std::string PicturesFolder() override { return desktop::PicturesFolder(); }
  bool FindFont(const FontRequest& request, FontFile* font, std::string* error) override {
    return desktop::FindFont(request, font, error);
  }
};

}  // namespace

Machine& Desktop() {
  static DesktopMachine machine;
  return machine;
}

}  // namespace ks

// The machine the core runs on, behind the seam: files by name, whole-file
// replacement, the reader's folders, and the fonts. The core declares it; a
// backend implements it (platform/desktop with POSIX files and fontconfig,
// platform/headless's MemoryMachine with a story held in memory) and hands
// it over once with UseMachine before anything is read. The core's own code
// reaches it through the free functions of core/file_io.h and core/xdg.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "core/surface.h"

namespace ks {

// What a font is asked for.
struct FontRequest {
  int cellHeight = 16;    // pixels from the top of the text cell to its bottom
  bool heaviest = false;  // the heaviest weight there is, made bold when there is none
  bool fixedPitch = false;
};

// A font's file as the machine found it: its bytes, which stay valid while
// `keep` lives, the face inside it, and whether the weight asked for had to
// be made up (the outline is then widened).
struct FontFile {
  std::shared_ptr<const void> keep;
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  int index = 0;
  bool embolden = false;
  std::string name;  // for messages
};

class Machine {
 public:
  virtual ~Machine() = default;

  // Files, by path. Exists: something is there. Missing: nothing is (an
  // unreadable folder is neither). A stamp tells a changed file from the
  // same one (all zero when there is none).
  virtual bool Exists(const std::string& path) = 0;
  virtual bool Missing(const std::string& path) { return !Exists(path); }
  virtual bool IsRegularFile(const std::string& path) = 0;
  virtual bool ListFolder(const std::string& folder, std::vector<std::string>* names) = 0;
  virtual bool Stamp(const std::string& path, std::array<uint64_t, 5>* stamp) = 0;
  virtual bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes,
                             std::string* error) = 0;
  // The regular file's bytes, valid while `keep` lives: mapped where the
  // machine can, so a long piece of music costs only the pages read. By
  // default read whole. False with a reason.
  virtual bool MapFile(const std::string& path, std::shared_ptr<const void>* keep, const uint8_t** bytes,
                       size_t* size, std::string* error);
  // Replaces the file whole (a new copy, then renamed over it), or leaves it.
  virtual bool ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error) = 0;
  virtual void RemoveStaleTemporaries(const std::string& path, const timespec& start) = 0;
  virtual bool MakeFolders(const std::string& folder) = 0;
  // A picture of the screen, as a PNG file.
  virtual bool WritePicture(const std::string& path, const Surface& surface, std::string* error) = 0;
  // The bytes of such a picture file, for ReplaceFile. False when it cannot be made.
  virtual bool EncodePicture(const Surface& surface, std::vector<uint8_t>* bytes) = 0;
  // A picture WritePicture wrote, of at most `maxPixels`. False with a reason.
  virtual bool ReadPicture(const std::string& path, size_t maxPixels, Surface* picture, std::string* error) = 0;
  // Whether the reader lets files be written in `folder`: false for a folder
  // made read-only (no write bit), even where the process could write.
  virtual bool FolderWritable(const std::string& folder) = 0;

  // The reader's folders for settings, data, caches and screenshots; ""
  // when there is none.
  virtual std::string ConfigFolder() = 0;
  virtual std::string DataFolder() = 0;
  virtual std::string CacheFolder() = 0;
  virtual std::string PicturesFolder() = 0;

  // The Japanese font for `request`.
  virtual bool FindFont(const FontRequest& request, FontFile* font, std::string* error) = 0;
};

// The machine every call goes to from now on (not owned; it outlives them).
// Until one is given, there are no files and no fonts.
void UseMachine(Machine* machine);
Machine& TheMachine();

}  // namespace ks

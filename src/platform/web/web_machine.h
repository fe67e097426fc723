// The browser's side of the machine seam. The page hands over the story's
// files (from its packed data, or a folder the reader picked) and what the
// browser's storage kept of earlier visits before the story starts; they are
// held in memory. A file the player replaces (the save, read marks,
// settings) is also handed back to the page, which keeps it in IndexedDB.
// The one font is the file the page gave at /font/font.ttf.
#pragma once

#include <array>
#include <map>
#include <string>

#include "platform/headless/memory_machine.h"

namespace ks {

class WebMachine : public MemoryMachine {
 public:
  static constexpr const char* kFontPath = "/font/font.ttf";

  bool ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error) override;
  // A file's time is the wall clock's when it was written here, or the time
  // the page kept with it (SetTime), so the newest slot is the newest after
  // the page is opened again.
  bool Stamp(const std::string& path, std::array<uint64_t, 5>* stamp) override;
  void SetTime(const std::string& path, uint64_t ms) { times_[Clean(path)] = ms; }
  // No pictures are written in a browser: a screenshot is a no with a reason.
  bool WritePicture(const std::string& path, const Surface& surface, std::string* error) override;
  std::string PicturesFolder() override { return ""; }
  // The one font for every request; the heaviest weight is made up from it,
  // as the desktop's fontconfig does for the same font.
  bool FindFont(const FontRequest& request, FontFile* font, std::string* error) override;

 private:
  std::map<std::string, uint64_t> times_;  // ms since 1970
};

}  // namespace ks

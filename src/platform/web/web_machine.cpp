#include "platform/web/web_machine.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <memory>
#include <vector>

namespace ks {

namespace {

// Hands a replaced file to the page, which keeps it in the browser's storage
// (and offers the save for download). Names are bytes: each becomes one char.
EM_JS(void, KsStoreFile, (const char* path, int pathSize, const uint8_t* bytes, int size, double ms), {
  const name = String.fromCharCode.apply(null, HEAPU8.subarray(path, path + pathSize));
  if (Module.ksStoreFile) Module.ksStoreFile(name, HEAPU8.slice(bytes, bytes + size), ms);
});

}  // namespace

bool WebMachine::ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error) {
  if (!MemoryMachine::ReplaceFile(path, bytes, size, error)) return false;
  const double ms = emscripten_date_now();
  SetTime(path, uint64_t(ms));
  KsStoreFile(path.data(), int(path.size()), bytes, int(size), ms);
  return true;
}

bool WebMachine::Stamp(const std::string& path, std::array<uint64_t, 5>* stamp) {
  if (!MemoryMachine::Stamp(path, stamp)) return false;
  if (const auto it = times_.find(Clean(path)); it != times_.end()) {
    (*stamp)[3] = it->second / 1000;              // seconds
    (*stamp)[4] = it->second % 1000 * 1000000;  // and nanoseconds
  }
  return true;
}

bool WebMachine::WritePicture(const std::string& path, const Surface&, std::string* error) {
  if (error) *error = "cannot write " + path + ": a browser keeps no pictures";
  return false;
}

bool WebMachine::FindFont(const FontRequest& request, FontFile* font, std::string* error) {
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  if (!ReadWholeFile(kFontPath, size_t(64) << 20, bytes.get(), nullptr) || bytes->empty()) {
    if (error) *error = "no Japanese font found (the page gave none)";
    return false;
  }
  font->bytes = bytes->data();
  font->size = bytes->size();
  font->keep = bytes;
  font->index = 0;
  font->embolden = request.heaviest;
  font->name = kFontPath;
  return true;
}

}  // namespace ks

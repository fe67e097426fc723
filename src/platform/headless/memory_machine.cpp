#include "platform/headless/memory_machine.h"

#include <cstring>
#include <set>

namespace ks {

std::string MemoryMachine::Clean(const std::string& path) {
  // Built in place, a part at a time: the fuzz targets look names up here
  // thousands of times a second.
  std::string out;
  out.reserve(path.size());
  size_t at = 0;
  while (at <= path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    const size_t length = slash - at;
    if (length != 0 && !(length == 1 && path[at] == '.')) {
      if (!out.empty() || path[0] == '/') out += '/';
      out.append(path, at, length);
    }
    at = slash + 1;
  }
  return out.empty() ? "." : out;
}

void MemoryMachine::Put(const std::string& path, std::vector<uint8_t> bytes) {
  files_[Clean(path)] = File{std::move(bytes), ++versions_};
}

uint8_t* MemoryMachine::Make(const std::string& path, size_t size) {
  File& file = files_[Clean(path)] = File{std::vector<uint8_t>(size), ++versions_};
  return file.bytes.data();
}

bool MemoryMachine::Exists(const std::string& path) {
  const std::string clean = Clean(path);
  const auto after = files_.lower_bound(clean);
  return after != files_.end() && (after->first == clean || after->first.rfind(clean + "/", 0) == 0);
}

bool MemoryMachine::ListFolder(const std::string& folder, std::vector<std::string>* names) {
  const std::string prefix = Clean(folder) + "/";
  std::set<std::string> found;
  for (auto it = files_.lower_bound(prefix); it != files_.end() && it->first.rfind(prefix, 0) == 0; ++it) {
    found.insert(it->first.substr(prefix.size(), it->first.find('/', prefix.size()) - prefix.size()));
  }
  names->insert(names->end(), found.begin(), found.end());
  return !found.empty();
}

bool MemoryMachine::Stamp(const std::string& path, std::array<uint64_t, 5>* stamp) {
  const auto it = files_.find(Clean(path));
  *stamp = {};
  if (it == files_.end()) return false;
  (*stamp)[0] = it->second.version;
  (*stamp)[2] = it->second.bytes.size();
  (*stamp)[3] = it->second.version;  // no clock here: the order of the writes
  return true;
}

bool MemoryMachine::ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes,
                                  std::string* error) {
  const auto it = files_.find(Clean(path));
  const char* why = it == files_.end() ? "No such file or directory"
                    : it->second.bytes.size() > maxBytes ? "too large" : nullptr;
  if (why) {
    if (error) *error = "cannot read " + path + ": " + why;
    return false;
  }
  *bytes = it->second.bytes;
  return true;
}

bool MemoryMachine::ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string*) {
  Put(path, std::vector<uint8_t>(bytes, bytes + size));
  return true;
}

bool MemoryMachine::EncodePicture(const Surface& surface, std::vector<uint8_t>* bytes) {
  const uint32_t size[2] = {uint32_t(surface.width), uint32_t(surface.height)};
  bytes->assign(reinterpret_cast<const uint8_t*>(size), reinterpret_cast<const uint8_t*>(size + 2));
  bytes->insert(bytes->end(), surface.Bytes(), surface.Bytes() + surface.pixels.size() * 4);
  return true;
}

bool MemoryMachine::WritePicture(const std::string& path, const Surface& surface, std::string*) {
  std::vector<uint8_t> bytes;
  EncodePicture(surface, &bytes);
  Put(path, std::move(bytes));
  return true;
}

bool MemoryMachine::ReadPicture(const std::string& path, size_t maxPixels, Surface* picture, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, maxPixels * 4 + 8, &bytes, error)) return false;
  uint32_t wh[2] = {};
  if (bytes.size() >= 8) std::memcpy(wh, bytes.data(), 8);
  if (bytes.size() < 8 || bytes.size() - 8 != size_t(wh[0]) * wh[1] * 4) {
    if (error) *error = "cannot read " + path + ": not a picture";
    return false;
  }
  Surface out{int(wh[0]), int(wh[1])};
  std::memcpy(out.Bytes(), bytes.data() + 8, bytes.size() - 8);
  *picture = std::move(out);
  return true;
}

bool MemoryMachine::FindFont(const FontRequest&, FontFile*, std::string* error) {
  if (error) *error = "no Japanese font found (none is held in memory)";
  return false;
}

}  // namespace ks

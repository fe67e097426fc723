// Random settings files: reading one never takes a value out of its range,
// and a write of one changed key changes that key's line (or adds one) and
// keeps every other line byte for byte.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "core/file_io.h"
#include "reader/settings.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

std::string ReadBack(const std::string& path) {
  std::vector<uint8_t> bytes;
  Check(ks::ReadWholeFile(path, 1 << 21, &bytes, nullptr));
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ks::fuzz::StoryFolder() + "/settings.ini";
  const std::string before(reinterpret_cast<const char*>(data), size);
  std::string error;
  Check(ks::ReplaceFile(path, data, size, &error));

  ks::Settings settings;
  std::string problems;
  Check(ks::LoadSettings(path, &settings, &problems));
  Check(settings.volume >= 0 && settings.volume <= 100);
  Check(settings.windowWidth >= 160 && settings.windowWidth <= 16384);
  Check(settings.windowHeight >= 120 && settings.windowHeight <= 16384);
  Check(settings.windowX >= -1 && settings.windowY >= -1);
  Check(settings.autoDelayMs >= 0 && settings.autoDelayMs <= 60000);
  Check(settings.autoCharMs >= 0 && settings.autoCharMs <= 1000);

  const ks::Settings read = settings;
  settings.volume = read.volume == 37 ? 38 : 37;
  Check(ks::SaveSettings(path, read, settings, &error));
  const std::string after = ReadBack(path);
  const std::vector<std::string> old = Lines(before), now = Lines(after);
  // One line changed, or one added (and perhaps a last line end).
  size_t same = 0;
  while (same < old.size() && same < now.size() && old[same] == now[same]) ++same;
  Check(same < now.size());
  const bool added = now.size() > old.size();
  for (size_t i = same + (added ? 0 : 1), j = same + 1; i < old.size(); ++i, ++j) {
    Check(j < now.size() && old[i] == now[j]);
  }
  ks::Settings again;
  Check(ks::LoadSettings(path, &again, &problems));
  Check(again.volume == settings.volume);
  return 0;
}

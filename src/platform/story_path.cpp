#include "platform/story_path.h"

#include "engine/sjis.h"

namespace ks {

std::string StoryPath(const std::string& root, const char* name) {
  std::string path = root.empty() ? std::string(".") : root;
  path += '/';
  // A 0x5C that trails a lead byte is half of a character ("ソ" is 83 5C),
  // not a separator.
  for (const char* p = name; *p != '\0'; ++p) {
    const auto b = static_cast<uint8_t>(*p);
    if (IsSjisLeadByte(b) && p[1] != '\0') {
      path += *p++;
      path += *p;
    } else {
      path += (*p == '\\') ? '/' : *p;
    }
  }
  return path;
}

}  // namespace ks

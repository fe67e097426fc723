// The INI rules of the desktop's parser (libinih, as Debian builds it: lines
// of up to 200 bytes, a UTF-8 BOM skipped, ";" and "#" comments at a line's
// start, ";" comments after a space, "=" or ":" between name and value,
// an indented line continuing the value above (comment and all), every line read on after an
// error, which is reported by its number). The desktop's own answers are
// the test of these rules (tests/reader_test.cpp).
#include "ini.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr int kMaxLine = 200;
constexpr size_t kMaxSection = 50;
constexpr size_t kMaxName = 50;

bool Space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

char* RightStrip(char* s) {
  char* p = s + std::strlen(s);
  while (p > s && Space(*--p)) *p = '\0';
  return s;
}

char* LeftSkip(char* s) {
  while (*s && Space(*s)) ++s;
  return s;
}

// The first of `chars` (or the end), stopping at a ";" after a space.
char* FindCharsOrComment(char* s, const char* chars) {
  bool wasSpace = false;
  while (*s && (!chars || !std::strchr(chars, *s)) && !(wasSpace && *s == ';')) {
    wasSpace = Space(*s);
    ++s;
  }
  return s;
}

// Copies at most `size` - 1 bytes and always ends the copy.
void CopyBounded(char* to, const char* from, size_t size) {
  const size_t length = std::min(std::strlen(from), size - 1);
  std::memcpy(to, from, length);
  to[length] = '\0';
}

}  // namespace

extern "C" int ini_parse_stream(ini_reader reader, void* stream, ini_handler handler, void* user) {
  char line[kMaxLine];
  char section[kMaxSection] = "";
  char previousName[kMaxName] = "";
  int lineNumber = 0, error = 0;
  while (reader(line, kMaxLine, stream) != nullptr) {
    ++lineNumber;
    char* start = line;
    if (lineNumber == 1 && static_cast<unsigned char>(start[0]) == 0xEF &&
        static_cast<unsigned char>(start[1]) == 0xBB && static_cast<unsigned char>(start[2]) == 0xBF) {
      start += 3;
    }
    start = LeftSkip(RightStrip(start));
    if (*start == '\0' || *start == ';' || *start == '#') continue;  // blank, or a comment
    if (*previousName && start > line) {
      // An indented line: more of the value above, a ";" in it kept.
      if (!handler(user, section, previousName, start) && !error) error = lineNumber;
    } else if (*start == '[') {
      char* end = FindCharsOrComment(start + 1, "]");
      if (*end == ']') {
        *end = '\0';
        CopyBounded(section, start + 1, sizeof section);
        *previousName = '\0';
      } else if (!error) {
        error = lineNumber;
      }
    } else {
      char* end = FindCharsOrComment(start, "=:");
      if (*end != '=' && *end != ':') {
        if (!error) error = lineNumber;
        continue;
      }
      *end = '\0';
      char* name = RightStrip(start);
      char* value = end + 1;
      end = FindCharsOrComment(value, nullptr);
      *end = '\0';
      value = LeftSkip(value);
      RightStrip(value);
      CopyBounded(previousName, name, sizeof previousName);
      if (!handler(user, section, name, value) && !error) error = lineNumber;
    }
  }
  return error;
}

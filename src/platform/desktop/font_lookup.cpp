// The desktop's fonts: fontconfig is asked by family (IPAGothic first),
// language (Japanese), weight and pitch; whatever it answers must cover kana
// and kanji or the font is refused. Fontconfig says when the weight asked for
// does not exist and must be made up. The file it names is mapped into
// memory and handed to the core, which rasterises it with FreeType.
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "platform/desktop/desktop_machine.h"

namespace ks::desktop {
namespace {

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

struct Match {
  std::string file;
  int index = 0;
  bool embolden = false;
};

// Fontconfig's configuration, loaded on first use and let go at exit (its
// blocks are linked by offsets, so one left alive looks like a leak).
struct FontconfigConfig {
  FcConfig* config = FcInitLoadConfigAndFonts();
  ~FontconfigConfig() {
    if (config) FcConfigDestroy(config);
  }
};

// Asks fontconfig for the best Japanese font for `request`.
bool FindFont(const FontRequest& request, Match* match, std::string* error) {
  static FontconfigConfig loaded;
  FcConfig* config = loaded.config;
  if (!config) return Fail(error, "fontconfig could not be set up");
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("IPAGothic"));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddInteger(pattern, FC_WEIGHT, request.heaviest ? FC_WEIGHT_BLACK : FC_WEIGHT_REGULAR);
  if (request.fixedPitch) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  FcChar8* file = nullptr;
  FcCharSet* chars = nullptr;
  bool ok = found && FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch &&
            FcPatternGetCharSet(found, FC_CHARSET, 0, &chars) == FcResultMatch &&
            FcCharSetHasChar(chars, 0x3042) && FcCharSetHasChar(chars, 0x30A2) && FcCharSetHasChar(chars, 0x6F22);
  if (ok) {
    match->file = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(found, FC_INDEX, 0, &match->index);
    FcBool embolden = FcFalse;
    FcPatternGetBool(found, FC_EMBOLDEN, 0, &embolden);
    match->embolden = embolden == FcTrue;
  }
  if (found) FcPatternDestroy(found);
  if (!ok) return Fail(error, "no Japanese font found (install the Debian package fonts-ipafont-gothic)");
  return true;
}

// Fontconfig reads some sixty files before it answers. Its answers are kept
// in $XDG_CACHE_HOME/kamishibai/fonts, one line a request, and used while the
// font file and fontconfig's own cache folders are as they were.
// "" without a home folder: nothing is cached.
std::string CacheFile() {
  const std::string folder = CacheFolder();
  return folder.empty() ? "" : folder + "/fonts";
}

// What the answers depend on: the fontconfig setup asked for, and the times
// the font folders last changed.
std::string FontconfigStamp() {
  std::string stamp;
  for (const char* name : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT"}) {
    const char* value = std::getenv(name);
    stamp += std::string(value ? value : "") + ":";
  }
  for (const char* folder : {"/etc/fonts", "/etc/fonts/conf.d", "/var/cache/fontconfig", "/usr/share/fonts"}) {
    struct stat info {};
    stat(folder, &info);
    stamp += std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + ":";
  }
  return stamp;
}

std::string RequestKey(const FontRequest& request) {
  return std::to_string(request.cellHeight) + (request.heaviest ? "h" : "r") + (request.fixedPitch ? "f" : "p");
}

bool FromCache(const FontRequest& request, Match* match) {
  std::ifstream in(CacheFile());
  std::string stamp;
  if (!std::getline(in, stamp) || stamp != FontconfigStamp()) return false;
  for (std::string key, file; in >> key >> match->index >> match->embolden >> std::quoted(file);) {
    if (key != RequestKey(request)) continue;
    match->file = file;
    return access(file.c_str(), R_OK) == 0;
  }
  return false;
}

void ToCache(const FontRequest& request, const Match& match) {
  const std::string path = CacheFile();
  if (path.empty()) return;
  std::ifstream in(path);
  std::string stamp, text;
  const std::string now = FontconfigStamp();
  if (std::getline(in, stamp) && stamp == now) {
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(RequestKey(request) + " ", 0) != 0) text += line + "\n";
    }
  }
  std::ostringstream entry;
  entry << RequestKey(request) << " " << match.index << " " << match.embolden << " " << std::quoted(match.file) << "\n";
  const std::string all = now + "\n" + text + entry.str();
  MakeFolders(path.substr(0, path.rfind('/')));
  std::string ignored;
  ReplaceFile(path, reinterpret_cast<const uint8_t*>(all.data()), all.size(), &ignored);
}

// The whole file, mapped read-only for as long as the font lives.
bool MapFile(const std::string& path, FontFile* font) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  void* at = MAP_FAILED;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    at = mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  }
  close(fd);
  if (at == MAP_FAILED) return false;
  const size_t size = size_t(info.st_size);
  font->keep = std::shared_ptr<const void>(at, [size](const void* p) { munmap(const_cast<void*>(p), size); });
  font->bytes = static_cast<const uint8_t*>(at);
  font->size = size;
  return true;
}

}  // namespace

bool FindFont(const FontRequest& request, FontFile* font, std::string* error) {
  Match match;
  if (!FromCache(request, &match)) {
    if (!FindFont(request, &match, error)) return false;
    ToCache(request, match);
  }
  font->index = match.index;
  font->embolden = match.embolden;
  font->name = match.file;
  if (!MapFile(match.file, font)) return Fail(error, "cannot open the font " + match.file);
  return true;
}

}  // namespace ks::desktop

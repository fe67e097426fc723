// The desktop's side of the machine seam: POSIX files, the freedesktop.org
// folders, fontconfig's fonts and libpng's pictures. The programs hand it to
// the core once, at start: UseMachine(&Desktop()).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "core/machine.h"

namespace ks {

// The one desktop machine of the process.
Machine& Desktop();

namespace desktop {

// file_io.cpp: whole files, read and replaced (see core/file_io.h).
bool IsRegularFile(const std::string& path);
bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes, std::string* error);
bool ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error);
void RemoveStaleTemporaries(const std::string& path, const timespec& start);
bool MapFile(const std::string& path, std::shared_ptr<const void>* keep, const uint8_t** bytes, size_t* size,
             std::string* error);

// xdg.cpp: the freedesktop.org base directory rules (see core/xdg.h).
std::string ConfigFolder();
std::string DataFolder();
std::string CacheFolder();
std::string PicturesFolder();
bool MakeFolders(const std::string& folder);

// font_lookup.cpp: fontconfig's answer for `request`, its file mapped.
bool FindFont(const FontRequest& request, FontFile* font, std::string* error);

}  // namespace desktop
}  // namespace ks

// Reading and replacing whole files, with a reason a user can act on. Each
// call goes to the machine the backend gave (core/machine.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "core/surface.h"

namespace ks {

// Whether something is at `path`; whether nothing is (an unreadable folder
// is neither).
bool PathExists(const std::string& path);
bool PathMissing(const std::string& path);

// Where the file at `path` lives, its size and its time, to tell a changed
// file from the same one; all zero and false when there is none.
bool FileStamp(const std::string& path, std::array<uint64_t, 5>* stamp);

// Writes `surface` as a PNG picture.
bool WritePicture(const std::string& path, const Surface& surface, std::string* error);
// The bytes of that picture file, to be written whole with ReplaceFile.
bool EncodePicture(const Surface& surface, std::vector<uint8_t>* bytes);
// Reads a picture WritePicture wrote, of at most `maxPixels`; false with a reason.
bool ReadPicture(const std::string& path, size_t maxPixels, Surface* picture, std::string* error);
// Whether the reader lets files be written in `folder` (it has its write bit).
bool FolderWritable(const std::string& folder);
// When the regular file at `path` was last written, in nanoseconds (only
// an order on a machine without a clock); 0 when there is none.
int64_t FileTime(const std::string& path);

// Whether `path` is a regular file (not a folder, FIFO or device).
bool IsRegularFile(const std::string& path);

// Reads the whole regular file at `path` into `bytes`. Returns false with a
// reason ("cannot read PATH: ...") when it cannot be opened or read, is not a
// regular file, or is larger than `maxBytes`; `bytes` is then left as it was.
bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes,
                   std::string* error);

// Replaces the file at `path` with `bytes` so that a failure at any point
// leaves the old file whole: the bytes go to a temporary file (PATH.XXXXXX)
// in the same folder, are flushed to disk, and the temporary is renamed over
// `path`. A symbolic link is followed and its target replaced, in the
// target's folder; the file keeps its mode; a read-only file (no write bit)
// or one that is not a regular file (a device, a FIFO) is not replaced.
// Never creates the folder. Returns false with a reason
// ("cannot write PATH: ...") on failure.
bool ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string* error);

// Removes the temporaries ReplaceFile makes for `path` (beside it, and beside
// its link's target) that were last written before `start`: those of a
// replace killed between its write and its rename. Nothing else is touched.
void RemoveStaleTemporaries(const std::string& path, const timespec& start);

}  // namespace ks

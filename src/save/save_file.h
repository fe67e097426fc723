// The one save slot: DATA/save.txt, a fixed 1068-byte record with no header,
// integers little-endian:
//
//   offset  size  field
//        0    20  backgroundFile   NUL-terminated; bytes after the NUL as held
//       20    40  bgmFile
//       60     4  pageLength
//       64     4  scriptPos        where the story resumes
//       68  1000  pageText         the whole buffer, stale bytes included
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/engine_state.h"

namespace ks {

inline constexpr const char* kSaveFileName = "DATA\\save.txt";

struct SaveRecord {
  char backgroundFile[kBackgroundNameBytes];
  char bgmFile[kBgmNameBytes];
  uint8_t pageLength[4];
  uint8_t scriptPos[4];
  char pageText[kPageBytes];
};
static_assert(sizeof(SaveRecord) == 1068, "the save file is 1068 bytes; stories' saves depend on it");
inline constexpr size_t kSaveFileBytes = sizeof(SaveRecord);

// The record for the current state, byte for byte as it goes to disk.
SaveRecord MakeSaveRecord(const EngineState& state);

// Writes the save file. The previous save survives any failure (no DATA
// folder, a read-only folder or save.txt, a full disk): the record goes to a
// temporary file that replaces save.txt only once it is safely on disk.
// A save.txt that is a symbolic link has its target replaced; the file
// keeps its mode. Returns false with a reason on failure. The DATA folder is
// never created.
bool SaveGame(EngineState& state, std::string* error);

// Removes the temporary saves ("save.txt.XXXXXX") that a save killed between
// its write and its rename left behind, those older than now. Called at
// start-up.
void RemoveStaleSaveTemporaries(const EngineState& state);

// Reads the save file and resumes from it: the page, both names and the
// script position are restored, the picture is redrawn, the saved music
// restarts from its beginning, and `cursor` becomes 0. Values that could not
// have been saved are made safe (a page length over 999, a name or page
// without its NUL, a position beyond the script). A missing or short file
// changes nothing and returns false with a reason.
bool LoadGame(EngineState& state, std::string* error);
// The same from the record in the file at `path` (a reader's slot).
bool LoadGameFrom(EngineState& state, const std::string& path, std::string* error);

}  // namespace ks

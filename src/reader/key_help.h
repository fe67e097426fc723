// Every key and mouse action the reader has, in one table: the help screen
// (F1), the player's --help and the manual page are all written from it.
#pragma once

#include <span>

namespace ks {

struct KeyHelp {
  const char* keys;  // the keys and mouse actions, as --help names them ("PageUp, wheel up")
  const char* what;  // what they do, for --help
  const char* shown; // the help screen's line, UTF-8
};

// The rows, in the order they are shown.
std::span<const KeyHelp> KeyHelpRows();

}  // namespace ks

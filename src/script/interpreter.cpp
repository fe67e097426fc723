// The interpreter reads the script a byte at a time. A comma produces nothing;
// any byte but "@" goes into the page as it is (carriage returns and both
// bytes of a double-byte character included); "@" and an upper-case letter
// with a command run that command. After "@" and any other byte, the "@"
// goes into the page and that byte is handled next on its own, so "@B" shows
// as "@B" and "@@E" shows one "@" and ends the page. Bytes are not read as
// characters: the second byte of a full-width space (81 40) is an "@" too.
//
// A run can be long (thousands of pictures before the first page); every
// 20 ms of one the platform is asked whether the reader quit, and a quit ends
// the run where it is, since the player ends with it.
//
// Between stopping points a run depends on nothing but its position, and only
// "@J" goes back. So a run that carries out the same "@J" twice is going round
// a loop that will never reach a stop: it ends there, after one lap, as if
// the script had ended, keeping the page it has built (the reader can still
// open the menu or quit).
#include "script/interpreter.h"

#include <unordered_set>

#include "core/text_field.h"
#include "present/background.h"
#include "save/save_file.h"
#include "script/label_index.h"
#include "script/script_file.h"
#include "sound/sound.h"

namespace ks {
namespace {

constexpr uint32_t kQuitLookMs = 20;

// Adds one byte to the page; bytes past the 999th are dropped, so the
// terminator always fits.
void PutPageByte(EngineState& state, char b) {
  if (state.page.pageLength < kMaxPageLength) state.page.pageText[state.page.pageLength++] = b;
}

void TerminatePage(EngineState& state) {
  if (state.page.pageLength > kMaxPageLength) state.page.pageLength = kMaxPageLength;
  state.page.pageText[state.page.pageLength] = '\0';
}

// "@C": text, label number, text, label number ..., up to a closing "@".
// Entries go from index `uiMode` upwards; a sixth choice is read but not kept.
void ReadChoiceList(EngineState& state) {
  const uint8_t* buf = state.script.scriptBuffer.data();
  while (state.script.scriptPos < state.script.scriptSize) {
    const bool kept = state.screen.uiMode >= 0 && state.screen.uiMode < kMaxChoices;
    char text[kChoiceTextBytes];
    ReadField(state, kept ? state.choices.choiceTexts[state.screen.uiMode] : text, kChoiceTextBytes);
    char number[kNumberFieldBytes];
    ReadField(state, number, sizeof number);
    if (kept) state.choices.choiceTargets[state.screen.uiMode++] = AtolRule(number);
    if (state.script.scriptPos < state.script.scriptSize && buf[state.script.scriptPos] == '@') {
      ++state.script.scriptPos;
      break;
    }
  }
  state.screen.cursor = 0;
}

}  // namespace

void RunScript(EngineState& state) {
  const uint8_t* buf = state.script.scriptBuffer.data();
  Platform* platform = state.platform;
  uint32_t nextLook = platform ? platform->NowMs() + kQuitLookMs : 0;
  uint32_t steps = 0;
  state.script.interrupted = false;
  std::unordered_set<uint32_t> jumpsTaken;  // where this run's "@J"s stand
  uint32_t& pos = state.script.scriptPos;
  while (pos < state.script.scriptSize) {
    const uint8_t b = buf[pos];
    if (b == ',') {
      ++pos;
      continue;
    }
    if (b != '@') {
      PutPageByte(state, char(b));
      ++pos;
      continue;
    }
    // Text is quick; what makes a run long is its commands.
    if (platform && ++steps % 64 == 0 && int32_t(platform->NowMs() - nextLook) >= 0) {
      nextLook = platform->NowMs() + kQuitLookMs;
      if (platform->QuitPending()) {
        state.script.interrupted = true;
        return;
      }
    }
    ++pos;  // onto the command letter
    const uint8_t letter = pos < state.script.scriptSize ? buf[pos] : 0;
    char name[kFileFieldBytes];
    char number[kNumberFieldBytes];
    switch (letter) {
      case 'A':
        ++pos;
        ReadField(state, name, sizeof name);
        PlayLoopSe(state, name);
        break;
      case 'C':
        ++pos;
        ReadChoiceList(state);
        return;
      case 'D':
        StopBgm(state);
        ++pos;
        break;
      case 'E':
        TerminatePage(state);
        ++pos;
        return;
      case 'F':
        ++pos;
        state.screen.fadeActive = 1;
        TerminatePage(state);
        return;
      case 'G':
        ++pos;
        ReadField(state, name, sizeof name);
        LoadBackground(state, state.display.backgroundSurface, name);
        CopyName(state.assets.backgroundFile, name);  // kept even when the picture did not load
        break;
      case 'H':
        state.choices.choiceX = kHighChoiceX;
        state.choices.choiceY = kHighChoiceY;
        ++pos;
        break;
      case 'J':
        if (!jumpsTaken.insert(pos).second) {  // this jump again: a loop
          pos = state.script.scriptSize;
          break;
        }
        ++pos;
        ReadField(state, number, sizeof number);
        pos = LabelPosition(state, AtolRule(number));
        break;
      case 'K':
        // A load puts the cursor at the saved place. One that fails leaves
        // everything as it was and stops just past the command.
        if (!LoadGame(state, nullptr)) ++pos;
        return;
      case 'M':
        ++pos;
        ReadField(state, name, sizeof name);
        PlayBgm(state, name);
        CopyName(state.assets.bgmFile, name);
        break;
      case 'N':
        PutPageByte(state, '\n');
        ++pos;
        break;
      case 'P':
        PlayPageSound(state);
        ++pos;
        break;
      case 'R':
        state.page.pageLength = 0;  // the old bytes stay until overwritten
        ++pos;
        break;
      case 'S':  // a label met at run time: step over its number
        do {
          ++pos;
        } while (pos < state.script.scriptSize && buf[pos] != ',');
        if (pos < state.script.scriptSize) ++pos;
        break;
      case 'T':
        state.screen.titleNotice = 1;
        ++pos;
        break;
      case 'U':
        state.choices.choiceX = kLowChoiceX;
        state.choices.choiceY = kLowChoiceY;
        ++pos;
        break;
      case 'W':
        ++pos;
        ReadField(state, name, sizeof name);
        PlayOneShotSe(state, name);
        break;
      case 'Y':
        StopLoopSe(state);
        ++pos;
        break;
      case 'Z':
        state.screen.quitRequested = 1;
        ++pos;
        break;
      default:  // not a command: the "@" is text and the byte is read next
        PutPageByte(state, '@');
        break;
    }
  }
  TerminatePage(state);
}

}  // namespace ks

// What is read out is decided from the record, once a frame, after the story
// has moved on: every run of the script is counted, so a page is read once
// per run that stopped on it (two pages with the same words are both read),
// a choice list once per run that ended in it, a menu row when the cursor
// comes to it, a notice when it comes up.
#include "reader/read_out.h"

#include <cstring>

#include "core/report.h"
#include "core/sjis.h"
#include "reader/reader.h"

namespace ks {
namespace {

constexpr uint32_t kSwitchMarkMs = 1500;

void ShowSwitchMark(ReaderState& reader, const std::string& text, uint32_t now) {
  reader.switchMark = text;
  reader.switchMarkUntil = now + kSwitchMarkMs;
}

// Starts the voice the first time it is wanted. When there is none, the
// reader is told once on stderr; the mark says so every time.
bool SpeechReady(ReaderState& reader, uint32_t now) {
  if (reader.speechReady) return true;
  std::string why = "no speech: this player was built without it";
  reader.speechReady = reader.speech && reader.speech->Start(&why);
  if (reader.speechReady) return true;
  if (!reader.speechTold) Report(why);
  reader.speechTold = true;
  ShowSwitchMark(reader, "NO SPEECH", now);
  return false;
}

bool Blank(const std::string& words) { return words.find_first_not_of(" \n") == std::string::npos; }

// Says `words` (UTF-8), first cutting off what is being said when asked.
void Say(ReaderState& reader, const std::string& words, bool cutOff) {
  if (cutOff) reader.speech->Stop();
  if (!Blank(words)) reader.speech->Say(words);
}

// The text a scene draws first as `kind`; null when none.
const std::string* FirstText(const Scene& scene, DrawOp::Kind kind) {
  for (const DrawOp& op : scene.ops) {
    if (op.kind == kind) return &op.text;
  }
  return nullptr;
}

}  // namespace

std::string ReadableText(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && bytes[i] != '\0';) {
    const auto b = uint8_t(bytes[i]);
    if (b == '\r' || b == '\n') {
      i += b == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? 2 : 1;
      out += '\n';
      continue;
    }
    if (b == '&') {  // as drawn: "&x" underlines x, "&&" is one "&"
      if (++i < bytes.size() && bytes[i] == '&') out += '&', ++i;
      continue;
    }
    const bool pair = IsSjisLeadByte(b) && i + 1 < bytes.size();
    const uint16_t code = pair ? uint16_t(b << 8 | uint8_t(bytes[i + 1])) : b;
    const uint32_t c = Cp932ToUnicode(code);
    if (c != 0) {
      PutUtf8(c, &out);
      i += pair ? 2 : 1;
    } else {
      ++i;  // not a character: as the font's box, nothing to read
    }
  }
  return out;
}

void TakeReadingSwitches(EngineState& state, const Intents& intents, uint32_t now) {
  ReaderState& reader = state.reader;
  Settings& settings = reader.settings;
  if (intents.Has(Intent::kSpeech)) {
    settings.speech = !settings.speech;
    reader.settingsChanged = true;
    if (settings.speech && !SpeechReady(reader, now)) {
      settings.speech = false;
    } else {
      ShowSwitchMark(reader, settings.speech ? "SPEECH ON" : "SPEECH OFF", now);
      if (!settings.speech && reader.speech) reader.speech->Stop();
      reader.pageReadAt = reader.choicesReadAt = 0;  // the page on the screen is read now
      reader.menuRowRead = -1;
    }
  }
  if (intents.Has(Intent::kClipboard)) {
    settings.clipboard = !settings.clipboard;
    reader.settingsChanged = true;
    reader.pageClippedAt = 0;
    ShowSwitchMark(reader, settings.clipboard ? "CLIPBOARD ON" : "CLIPBOARD OFF", now);
  }
  if (intents.Has(Intent::kBackdrop)) {
    settings.textBackdrop = (settings.textBackdrop + 1) % (kOutlineBackdrop + 1);
    reader.settingsChanged = true;
  }
  if (intents.Has(Intent::kHideText)) reader.textHidden = true;
}

void ReadOutFrame(EngineState& state, Scene& scene) {
  ReaderState& reader = state.reader;
  const ScreenState& screen = state.screen;
  const bool speak = reader.settings.speech && SpeechReady(reader, screen.lastFrameTime);
  if (!speak) reader.settings.speech = false;
  const bool clip = reader.settings.clipboard && reader.clipboard;
  // The page is read when it is drawn (the frame a choice is taken still
  // draws the list), once per run by each of the two; a page drawn again
  // under a choice list is not read again.
  const bool clipDue = clip && reader.pageClippedAt != reader.runs;
  const bool sayDue = speak && reader.pageReadAt != reader.runs;
  const std::string* drawn = FirstText(scene, DrawOp::Kind::kPageText);
  if ((clipDue || sayDue) && drawn && !screen.fadeActive) {
    const std::string words = ReadableText(*drawn);
    const bool fresh = OnPage(screen) || (!Blank(words) && *drawn != reader.pageRead);
    const bool toClip = clipDue && fresh;
    const bool toSay = sayDue && fresh;
    if (toClip) reader.pageClippedAt = reader.runs;
    if (toClip && !Blank(words)) reader.clipboard->PutOnClipboard(words);
    if (toSay) reader.pageReadAt = reader.runs, Say(reader, words, true);
    if (toClip || toSay) reader.pageRead = *drawn;
  }
  if (speak) {
    if (const int32_t count = ChoiceCount(screen); count > 0 && reader.choicesReadAt != reader.runs) {
      reader.choicesReadAt = reader.runs;
      std::string rows;
      for (int32_t i = 0; i < count; ++i) {
        rows += std::to_string(i + 1) + ". " + std::string(state.choices.choiceTexts[i], strnlen(state.choices.choiceTexts[i], kChoiceTextBytes)) + "\n";
      }
      Say(reader, ReadableText(rows), false);
    }
    const int row = InMenu(screen) ? screen.cursor : -1;
    if (row >= 0 && row < kMenuRows && row != reader.menuRowRead) {
      Scene menu;
      AddSystemMenu(menu, row);
      Say(reader, ReadableText(menu.ops[size_t(1 + row)].text), true);
    }
    reader.menuRowRead = row;
    if (AnyNotice(screen) && !reader.noticeRead) {
      Scene notice;
      AddNotice(notice, screen.savedNotice ? Notice::kSaved : screen.loadedNotice ? Notice::kLoaded
                        : screen.titleNotice ? Notice::kTitle : Notice::kSaveFailed);
      Say(reader, ReadableText(*FirstText(notice, DrawOp::Kind::kNoticeText)), false);
    }
  }
  reader.noticeRead = AnyNotice(screen);
  StyleStoryText(scene, TextBackdrop(reader.settings.textBackdrop), reader.textHidden);
}

void AddReadingMarks(Scene& scene, EngineState& state, uint32_t now) {
  ReaderState& reader = state.reader;
  if (reader.switchMark.empty()) return;
  if (!StillShowing(now, reader.switchMarkUntil)) {
    reader.switchMark.clear();
    return;
  }
  AddSwitchMark(scene, reader.switchMark);
}

}  // namespace ks

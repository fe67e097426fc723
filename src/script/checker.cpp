// The walk reads the script once from start to end with the interpreter's own
// steps: a comma produces nothing, every other byte but "@" is page text, and
// a command reads its fields with ReadField, so each field is checked with the
// bytes the player keeps. Jumps are not followed; the page length is a running
// count that text, "@N" and an "@" shown as text raise and "@R" resets.
// Label definitions and uses are collected on the way and compared with the
// label index afterwards: a definition counts when the index points right
// after it. When a later definition of the same number won, the index is
// asked again about the script up to this one, from the byte the scan tests
// after the last definition known to count (two past its comma), so that
// what it finds there is what the whole scan found.
#include "script/checker.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

#include "engine/sjis.h"
#include "platform/file_io.h"
#include "platform/story_path.h"
#include "script/label_index.h"
#include "script/script_file.h"

namespace ks {
namespace {

bool IsCommandLetter(uint8_t b) { return std::string_view("ACDEFGHJKMNPRSTUWYZ").find(char(b)) != std::string_view::npos; }

// A name in quotes, converted from Shift-JIS to UTF-8 when it converts.
std::string Quoted(const std::string& name) {
  std::string shown;
  return '"' + (Cp932ToUtf8(name, &shown) ? shown : name) + '"';
}

class Checker {
 public:
  Checker(EngineState& state, const std::vector<uint8_t>& original)
      : state_(state), buf_(state.script.scriptBuffer.data()), size_(state.script.scriptSize) {
    lineStarts_.push_back(0);
    for (size_t i = 0; i < original.size(); ++i) {
      if (original[i] == '\n') lineStarts_.push_back(uint32_t(i + 1));
    }
  }

  std::vector<Finding> Run();

 private:
  struct Field {
    uint32_t start;
    uint32_t length;  // the whole field, also what ReadField did not keep
  };
  struct Definition {
    int32_t number;
    uint32_t at;   // its "@"
    uint32_t end;  // just after its comma: where a jump to it lands
  };
  struct Use {
    int32_t number;
    uint32_t at;
    bool choice;
  };

  void Add(Severity severity, uint32_t offset, std::string message) {
    const auto line = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - 1;
    findings_.push_back({severity, offset, uint32_t(line - lineStarts_.begin() + 1), offset - *line + 1,
                         std::move(message)});
  }
  uint32_t LineOf(uint32_t offset) const {
    return uint32_t(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
  }
  bool IsLineEnd(uint32_t offset) const { return std::binary_search(lineStarts_.begin(), lineStarts_.end(), offset + 1); }

  Field Read(char* dest, size_t destSize) {
    const uint32_t start = state_.script.scriptPos;
    ReadField(state_, dest, destSize);
    uint32_t end = state_.script.scriptPos;
    if (end > start && buf_[end - 1] == ',') --end;
    return {start, end - start};
  }

  void PutText(uint32_t at) {
    if (++page_ == kMaxPageLength + 1) {
      Add(Severity::kError, at, "the page passes 999 bytes here; the rest is not shown (start a new page with \"@R\")");
    }
  }
  void NotACommand(uint32_t at);
  void FileName(uint32_t at, char letter);
  void ChoiceList(uint32_t at);
  void Label(uint32_t at, const char* number, char kind);
  void Labels();
  bool Indexed(const Definition& d, uint32_t top);

  EngineState& state_;
  const uint8_t* buf_;
  uint32_t size_;
  std::vector<uint32_t> lineStarts_;
  std::vector<Finding> findings_;
  uint64_t page_ = 0;
  std::vector<Definition> definitions_;
  std::vector<Use> uses_;
  std::unique_ptr<EngineState> scratch_;  // for asking the label index about part of the script
};

std::vector<Finding> Checker::Run() {
  uint32_t& pos = state_.script.scriptPos;
  // The second byte of the double-byte character being read: an "@" there
  // belongs to the character (81 40 is a full-width space).
  uint32_t trail = UINT32_MAX;
  pos = 0;
  while (pos < size_) {
    const uint32_t at = pos;
    const uint8_t b = buf_[pos];
    if (b == ',') {
      ++pos;
      continue;
    }
    if (b != '@') {
      if (at != trail && IsSjisLeadByte(b)) trail = at + 1;
      PutText(at);
      ++pos;
      continue;
    }
    ++pos;
    const uint8_t letter = pos < size_ ? buf_[pos] : 0;
    if (!IsCommandLetter(letter)) {
      if (at != trail) NotACommand(at);
      PutText(at);
      continue;  // the byte after it is read on its own
    }
    if (at == trail) {
      Add(Severity::kWarning, at - 1,
          "this double-byte character ends in the byte \"@\", so with the \"" + std::string(1, char(letter)) +
              "\" after it the player runs \"@" + char(letter) + "\"; put another character between them");
    }
    ++pos;
    char number[kNumberFieldBytes];
    switch (letter) {
      case 'A':
      case 'G':
      case 'M':
      case 'W':
        FileName(at, char(letter));
        break;
      case 'C':
        ChoiceList(at);
        break;
      case 'J':
      case 'S':
        Read(number, sizeof number);
        Label(at, number, char(letter));
        break;
      case 'N':
        PutText(at);
        break;
      case 'R':
        page_ = 0;
        break;
      default:  // the rest take no field and do not touch the page
        break;
    }
  }
  Labels();
  std::stable_sort(findings_.begin(), findings_.end(),
                   [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
  return std::move(findings_);
}

void Checker::NotACommand(uint32_t at) {
  const uint32_t next = at + 1;
  std::string what;
  if (next >= size_) {
    what = "\"@\" at the end of the script";
  } else if (buf_[next] == ',' && IsLineEnd(next)) {
    what = "\"@\" at the end of a line";
  } else if (buf_[next] > 0x20 && buf_[next] < 0x7F) {
    what = std::string("\"@") + char(buf_[next]) + "\"";
  } else {
    static const char kHex[] = "0123456789ABCDEF";
    what = std::string("\"@\" followed by the byte 0x") + kHex[buf_[next] >> 4] + kHex[buf_[next] & 15];
  }
  Add(Severity::kWarning, at, what + " is not a command; the \"@\" shows as text");
}

void Checker::FileName(uint32_t at, char letter) {
  char name[kFileFieldBytes];
  const Field field = Read(name, sizeof name);
  const std::string whole(reinterpret_cast<const char*>(buf_ + field.start), field.length);
  // A CR stays in the field when the line end was CR LF, and no file has it
  // in its name.
  if (!whole.empty() && whole.back() == '\r') {
    Add(Severity::kError, at,
        "the file name " + Quoted(whole.substr(0, whole.size() - 1)) +
            " ends in a carriage return, so the file is never found; put a comma right after the name");
    return;
  }
  // A picture's name is saved in the save file with room for 19 bytes; every
  // name is read with room for 31.
  const size_t limit = letter == 'G' ? kBackgroundNameBytes - 1 : kFileFieldBytes - 1;
  if (whole.size() > limit) {
    Add(Severity::kError, at,
        "the file name " + Quoted(whole) + " is " + std::to_string(whole.size()) + " bytes long; " +
            (letter == 'G' ? "a picture's name is saved with only its first 19 bytes"
                           : "the player reads only its first 31 bytes"));
    if (whole.size() >= kFileFieldBytes) return;
  }
  if (whole.empty()) {
    Add(Severity::kError, at, std::string("\"@") + letter + "\" has no file name");
    return;
  }
  const StoryFile file = FindStoryFile(state_.storyRoot, name);
  if (!file.found) {
    Add(Severity::kError, at, "the file " + Quoted(name) + " cannot be found in the story folder");
  } else if (!file.exact) {
    Add(Severity::kWarning, at,
        "the file " + Quoted(name) + " is found only as \"" + file.relative +
            "\" (its case or its characters differ); the player uses that file");
  }
}

void Checker::ChoiceList(uint32_t at) {
  uint32_t& pos = state_.script.scriptPos;
  int count = 0;
  while (pos < size_) {
    char text[kChoiceTextBytes];
    const Field textField = Read(text, sizeof text);
    if (++count == kMaxChoices + 1) {
      Add(Severity::kError, textField.start, "a choice list holds at most 5 choices; this one and any after it are not shown");
    }
    if (textField.length >= kChoiceTextBytes) {
      Add(Severity::kError, textField.start,
          "this choice text is " + std::to_string(textField.length) + " bytes long; only its first 99 bytes are shown");
    }
    char number[kNumberFieldBytes];
    const Field numberField = Read(number, sizeof number);
    Label(numberField.start, number, 'C');
    if (pos < size_ && buf_[pos] == '@') {
      ++pos;
      return;
    }
  }
  Add(Severity::kError, at,
      "this choice list has no closing \"@\" right after its last label number, so it runs to the end of the script");
}

// `kind` is the command: "S" defines, "J" jumps, "C" is a choice.
void Checker::Label(uint32_t at, const char* number, char kind) {
  const int32_t n = AtolRule(number);
  if (n < 0 || n >= kLabelCount) {
    Add(Severity::kError, at,
        "label number " + std::to_string(n) + " is outside 0 to 99; " +
            (kind == 'S' ? "this defines no label" : kind == 'J' ? "the jump goes to the start of the script"
                                                                : "choosing it goes to the start of the script"));
  } else if (kind == 'S') {
    definitions_.push_back({n, at, state_.script.scriptPos});
  } else {
    uses_.push_back({n, at, kind == 'C'});
  }
}

void Checker::Labels() {
  std::array<const Definition*, kLabelCount> kept{};  // the definition counting so far, by number
  std::array<bool, kLabelCount> defined{};  // by any definition, counting or not
  uint32_t top = 0;
  for (const Definition& d : definitions_) {
    const auto n = size_t(d.number);
    defined[n] = true;
    if (Indexed(d, top)) {
      if (kept[n]) {
        Add(Severity::kWarning, d.at,
            "label " + std::to_string(n) + " is also defined on line " + std::to_string(LineOf(kept[n]->at)) +
                "; jumps go to this later definition");
      }
      kept[n] = &d;
      top = d.end + 1;
      continue;
    }
    std::string why = "it lies inside another field";
    if (d.at > 0 && buf_[d.at - 1] == '@') why = "it follows another \"@\"";
    if (d.at > 0 && buf_[d.at - 1] == ',') {
      why = IsLineEnd(d.at - 1) ? "it is on the line right after another definition"
                                : "it starts right after another definition's comma";
    }
    const uint32_t target = LabelPosition(state_, d.number);
    Add(Severity::kError, d.at,
        "the label index skips this definition of label " + std::to_string(n) + " (" + why + "); jumps to it go to " +
            (target == 0 ? std::string("the start of the script") : "line " + std::to_string(LineOf(target))));
  }
  // The label scan does not know fields: an "@S" inside a file name or a
  // choice text (a full-width space before "S" is one) defines a label too.
  for (size_t n = 0; n < kLabelCount; ++n) {
    const uint32_t target = state_.script.labelTable[n];
    if (target == 0 || std::any_of(definitions_.begin(), definitions_.end(), [&](const Definition& d) {
          return size_t(d.number) == n && d.end == target;
        })) {
      continue;
    }
    uint32_t at = target - 1;  // its comma; the "@S" is before its number
    while (at > 0 && !(buf_[at - 1] == '@' && buf_[at] == 'S')) --at;
    Add(Severity::kError, at > 0 ? at - 1 : 0,
        "an \"@S\" inside a field defines label " + std::to_string(n) + "; jumps to it go to line " +
            std::to_string(LineOf(target)));
  }
  for (const Use& u : uses_) {
    if (state_.script.labelTable[size_t(u.number)] != 0) continue;
    Add(Severity::kWarning, u.at,
        "label " + std::to_string(u.number) +
            (defined[size_t(u.number)] ? " has no definition the label index keeps; " : " is never defined; ") +
            (u.choice ? "choosing it" : "the jump") + " goes to the start of the script");
  }
}

// `top` is a byte the label scan tests, before the definition's comma.
bool Checker::Indexed(const Definition& d, uint32_t top) {
  const uint32_t kept = state_.script.labelTable[size_t(d.number)];
  if (kept == d.end) return true;
  if (kept < d.end) return false;
  if (!scratch_) scratch_ = std::make_unique<EngineState>();
  SetScript(*scratch_, std::vector<uint8_t>(buf_ + top, buf_ + d.end));
  scratch_->script.labelTable.fill(0);
  BuildLabelIndex(*scratch_);
  return scratch_->script.labelTable[size_t(d.number)] == d.end - top;
}

}  // namespace

std::vector<Finding> CheckScript(EngineState& state, const std::vector<uint8_t>& original) {
  return Checker(state, original).Run();
}

bool CheckStory(const std::string& root, StoryCheck* check, std::string* error) {
  auto state = std::make_unique<EngineState>();
  state->storyRoot = root;
  if (!LoadScript(*state, error)) return false;
  BuildLabelIndex(*state);
  const StoryFile script = FindStoryFile(root, kScriptFileName);
  // Read again as it is on disk: line numbers count the line feeds.
  std::vector<uint8_t> original;
  if (!ReadWholeFile(script.path, UINT32_MAX, &original, error)) return false;
  check->scriptName = script.relative;
  check->findings = CheckScript(*state, original);
  return true;
}

}  // namespace ks

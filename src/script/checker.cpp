// The checker reads the script in three passes, each linear in its length.
//
// The walk reads it once from start to end with the interpreter's own steps:
// a comma produces nothing, every other byte but "@" is page text, and a
// command reads its fields with ReadField, so each field is checked with the
// bytes the player keeps. Jumps are not followed; the page's length and the
// width of its current line are running counts that text raises, a line
// break ends (the width) and "@R" resets. A double-byte character whose
// second byte is "@" before a command letter is reported once and then read
// as its author meant it, as text, so that what the command would have done
// (a choice list swallowing the lines after it) brings no findings of its own.
//
// The run follows the story from its start the ways a reader can take it:
// falling through, "@J", each choice's target, "@T" back to the start. Each
// step is taken once, so it tells in linear time which bytes the story
// reaches and whether it can end ("@Z" or the end of the script).
//
// Labels: the label scan runs again, listing every definition it stores, not
// only the last of each number; a definition the walk met counts when the
// scan stored its position under its number. A label number read away from
// the walk's cursor is found through the sorted list of commas, never by
// reading its field to the end: a line of full-width spaces before "S" has an
// "@S" every three bytes and no comma.
//
// Branches: from each choice's label the story falls through to the next
// label of the same list unless a jump, a choice list, a load, the title or
// the end comes between them; the walk lists where those stand.
#include "script/checker.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/sjis.h"
#include "core/file_io.h"
#include "core/story_path.h"
#include "present/bmp_decode.h"
#include "script/label_index.h"
#include "script/script_file.h"
#include "sound/sound.h"
#include "sound/sound_check.h"

namespace ks {
namespace {

constexpr size_t kQuotedBytes = 60;  // a name in a message is cut here
// Findings listed at most: a script that is no story at all (a binary file,
// a megabyte of "@B") would otherwise give one per byte or two.
constexpr size_t kMaxFindings = 10000;
// The page is drawn in the rectangle (40, 35) to (600, 430): 35 full-width
// characters a line.
constexpr int kTextBoxWidth = 600 - 40;
constexpr int kFullWidth = 16;
constexpr int kHalfWidth = 8;

bool IsCommandLetter(uint8_t b) {
  return std::string_view("ACDEFGHJKMNPRSTUWYZ").find(char(b)) != std::string_view::npos;
}
bool ChangesCourse(uint8_t letter) { return std::string_view("CJSKZEF").find(char(letter)) != std::string_view::npos; }
constexpr bool IsTrailByte(uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// What a command does where its author meant text.
const char* WhatItDoes(uint8_t letter) {
  switch (letter) {
    case 'C': return "starts a choice list that takes in the text after it";
    case 'J': return "jumps to a label";
    case 'S': return "skips the text after it up to the next comma or line end, as a label";
    case 'K': return "loads the save";
    case 'Z': return "ends the story";
    case 'E': return "ends the page";
    case 'F': return "fades to black";
    case 'G': return "loads the text after it as a picture";
    case 'N': return "starts a new line";
    case 'P': return "plays Page.wav";
    case 'R': return "clears the page";
    case 'D': return "stops the music";
    case 'Y': return "stops the looping effect";
    case 'T': return "shows the return-to-title notice";
    case 'H':
    case 'U': return "moves the next choice list";
    default: return "plays the text after it as a sound";  // A, M, W
  }
}

// The letter in full width ("Ｃ"), U+FF21 onwards.
std::string FullWidth(uint8_t letter) { return {char(0xEF), char(0xBC), char(0xA1 + (letter - 'A'))}; }

// The UTF-8 sequence at s[p]: its length, or 0 when none is valid there.
size_t Utf8Length(const uint8_t* s, size_t size, size_t p, uint32_t* code) {
  const uint8_t b = s[p];
  if (b < 0x80) {
    *code = b;
    return 1;
  }
  size_t n = 0;
  uint8_t low = 0x80, high = 0xBF;  // the second byte's range, narrower for overlong forms and surrogates
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (p + n > size || s[p + 1] < low || s[p + 1] > high) return 0;
  uint32_t c = b & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    if (i > 1 && (s[p + i] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (s[p + i] & 0x3F);
  }
  *code = c;
  return n;
}

// A label number as the atol rule reads it: white space, a sign, digits.
bool HasDigits(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  if (*text == '+' || *text == '-') ++text;
  return *text >= '0' && *text <= '9';
}

bool IsJapanese(uint32_t c) { return (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF); }

// A script saved as UTF-8: it reads as UTF-8 with characters beyond ASCII,
// and it is not plausible Shift-JIS: it does not convert from CP932, or its
// UTF-8 reading holds Japanese (Shift-JIS text hardly ever forms valid UTF-8,
// let alone Japanese UTF-8). `first` is its first byte beyond ASCII.
bool IsUtf8Script(const uint8_t* bytes, size_t size, uint32_t* first) {
  bool beyondAscii = false, japanese = false;
  for (size_t p = 0; p < size;) {
    uint32_t code = 0;
    const size_t n = Utf8Length(bytes, size, p, &code);
    if (n == 0) return false;
    if (n > 1 && !beyondAscii) {
      beyondAscii = true;
      *first = uint32_t(p);
    }
    japanese = japanese || IsJapanese(code) || code == 0xFEFF;
    p += n;
  }
  std::string unused;
  return beyondAscii && (japanese || !Cp932ToUtf8(std::string(bytes, bytes + size), &unused));
}

// Control bytes as \xNN, so that a name cannot move the terminal's cursor.
std::string Printable(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto b = uint8_t(c);
    if (b < 0x20 || b == 0x7F) {
      out += std::string("\\x") + kHex[b >> 4] + kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

bool IsUtf8(const std::string& text) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  for (size_t p = 0; p < text.size();) {
    uint32_t code = 0;
    const size_t n = Utf8Length(s, text.size(), p, &code);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

// Where an author may have put the page sound: a file in the story folder or
// two levels below it named "Page.wav" but for case, or else starting with
// "page". Looks at a bounded number of entries. Empty when there is none.
std::string SimilarPageSound(const std::string& root) {
  namespace fs = std::filesystem;
  auto lower = [](std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return s;
  };
  std::error_code ec;
  fs::recursive_directory_iterator it(root.empty() ? "." : root, fs::directory_options::skip_permission_denied, ec);
  std::pair<int, std::string> best{2, ""};  // (0 same name, 1 a name starting with "page"; its path)
  for (int budget = 4096; !ec && it != fs::recursive_directory_iterator() && budget > 0; it.increment(ec), --budget) {
    if (it.depth() >= 2) it.disable_recursion_pending();
    if (!it->is_regular_file(ec)) continue;
    const std::string name = lower(it->path().filename().string());
    const int rank = name == "page.wav" ? 0 : name.starts_with("page") ? 1 : 2;
    const std::string relative = it->path().lexically_relative(root.empty() ? "." : root).string();
    if (std::make_pair(rank, relative) < best) best = {rank, relative};
  }
  return best.first < 2 ? best.second : "";
}

// The story folder's files two levels down, by their paths inside it; a
// bounded number of entries is read.
std::vector<std::string> StoryFiles(const std::string& root) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code ec;
  const fs::path base = root.empty() ? "." : root;
  fs::recursive_directory_iterator it(base, fs::directory_options::skip_permission_denied, ec);
  for (int budget = 4096; !ec && it != fs::recursive_directory_iterator() && budget > 0; it.increment(ec), --budget) {
    if (it.depth() >= 2) it.disable_recursion_pending();
    if (it->is_regular_file(ec)) files.push_back(it->path().lexically_relative(base).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string LowerAscii(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  return s;
}

// Edits (insert, delete, replace, or swap two neighbours) from `a` to `b`,
// or `limit` + 1 when there are more than `limit`.
size_t EditDistance(const std::string& a, const std::string& b, size_t limit) {
  if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) return limit + 1;
  std::vector<size_t> before(b.size() + 1), last(b.size() + 1), row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) last[j] = j;
  size_t lastBest = 0;  // a swap reaches back two rows: give up when two in a row are past the limit
  for (size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    size_t best = row[0];
    for (size_t j = 1; j <= b.size(); ++j) {
      row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) row[j] = std::min(row[j], before[j - 2] + 1);
      best = std::min(best, row[j]);
    }
    if (best > limit && lastBest > limit) return limit + 1;
    lastBest = best;
    std::swap(before, last);
    std::swap(last, row);
  }
  return std::min(last[b.size()], limit + 1);
}

// The double-byte character of `lead` and "@", for a message.
std::string CharacterName(uint8_t lead) {
  if (lead == 0x81) return "the full-width space";
  std::string utf8;
  if (Cp932ToUtf8(std::string{char(lead), '@'}, &utf8)) return "the character \"" + utf8 + "\"";
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("the double-byte character ") + kHex[lead >> 4] + kHex[lead & 15] + " 40";
}

class Checker {
 public:
  Checker(EngineState& state, const std::vector<uint8_t>& original);
  std::vector<Finding> Run();

 private:
  struct Field {
    uint32_t start;
    uint32_t length;  // the whole field, also what ReadField did not keep
    bool loneCr;      // it runs on past a CR alone, which the player does not take for a line end
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
  enum class Media { kPicture, kSound, kMusic };

  void Add(Severity severity, uint32_t offset, std::string message) {
    if (findings_.size() < kMaxFindings) {
      findings_.push_back({severity, offset, 0, 0, std::move(message)});
    } else {
      ++unlisted_;
    }
  }
  uint32_t LineOf(uint32_t offset) const {
    return uint32_t(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
  }
  size_t CharacterBytes(uint32_t at) const;
  // `utf8`: a name on disk rather than in the script.
  std::string Quoted(const std::string& name, bool utf8 = false) const;
  bool IsBareLf(uint32_t at) const { return orig_[at] == '\n' && (at == 0 || orig_[at - 1] != '\r'); }

  Field Read(char* dest, size_t destSize);
  int32_t NumberAt(uint32_t from, uint32_t* end);
  void Walk();
  void PutPage(uint32_t at);
  void Text(uint32_t at);
  void Draw(uint32_t at);
  void LineBreak() {
    lineWidth_ = 0;
    lineReported_ = lineJoined_ = ampersand_ = false;
  }
  void Stop(bool showsPage);
  void InsideCharacter(uint32_t at, uint8_t letter);
  void NotACommand(uint32_t at);
  void FileName(uint32_t at, char letter);
  void LookUp(uint32_t at, const std::string& name, Media media);
  void CheckMedia(uint32_t at, const StoryFile& file, const std::string& shown, Media media);
  void PageSound(uint32_t at);
  void ChoiceList(uint32_t at);
  void NoLabelNumber(const Field& text, const Field& number);
  std::string Bracketed(const std::string& text) const {
    const std::string quoted = Quoted(text);  // in "", which become 「」
    return "「" + quoted.substr(1, quoted.size() - 2) + "」";
  }
  std::string NearestFile(const std::string& name);
  void Branches();
  void Label(uint32_t at, const char* number, char kind);
  void Reach();
  void Labels();
  void Place();

  EngineState& state_;
  const uint8_t* buf_;
  const uint8_t* orig_;  // the same bytes with the line feeds
  uint32_t size_;
  bool utf8_ = false;
  uint32_t firstNonAscii_ = 0;
  uint32_t firstLoneCr_ = UINT32_MAX, firstBareLf_ = UINT32_MAX;
  bool loneCrSwallowed_ = false;  // a field runs on past a CR alone
  std::vector<uint32_t> lineStarts_;
  std::vector<Finding> findings_;
  size_t unlisted_ = 0;  // found past kMaxFindings

  // The walk.
  uint64_t page_ = 0;
  int lineWidth_ = 0;          // of the page's current line, in pixels
  bool lineReported_ = false;  // too wide, said once a line
  bool lineJoined_ = false;    // two lines of the file run together in it: the bare LF's finding says why
  bool ampersand_ = false;     // an "&" waits for the character it underlines
  uint32_t characterEnd_ = 0;  // the double-byte character measured runs up to here
  size_t line_ = SIZE_MAX;     // of the file, as index into lineStarts_
  bool lineHasText_ = false, lineHasCommand_ = false;
  uint32_t pendingCr_ = UINT32_MAX;  // a command line's CR in the page, until a stop shows it or "@R" clears it
  std::vector<uint32_t> shownCrs_;
  std::vector<uint32_t> asText_;  // "@"s the walk read as text: second bytes of double-byte characters
  std::vector<std::pair<int32_t, uint32_t>> asTextDefinitions_;  // what the label scan makes of those before "S"
  std::vector<Definition> definitions_;
  std::vector<Use> uses_;
  std::map<std::string, StoryFile> looked_;  // by name
  std::set<std::string> checked_;            // files looked into, by medium and path
  bool pageSoundLooked_ = false;

  // The run.
  std::vector<uint32_t> commas_;  // where every comma stands, in order
  std::vector<uint32_t> turns_;     // real "@J", "@C", "@K", "@T" and "@Z": the story does not fall through them
  std::vector<uint32_t> pageEnds_;  // real "@E" and "@F"
  std::vector<std::vector<int32_t>> choiceLists_;  // each list's label numbers, as far as they are numbers
  std::vector<std::string> storyFiles_;  // the story folder's files, for suggestions; read when first needed
  bool storyFilesRead_ = false;
  int suggestions_ = 0;

  std::vector<bool> reached_;  // a step of the story starts here
  bool ends_ = false;
  uint32_t furthest_ = 0;  // the last place the story turns back
};

Checker::Checker(EngineState& state, const std::vector<uint8_t>& original)
    : state_(state),
      buf_(state.script.scriptBuffer.data()),
      orig_(original.size() == state.script.scriptSize ? original.data() : buf_),
      size_(state.script.scriptSize) {
  lineStarts_.push_back(0);
  for (uint32_t i = 0; i < size_; ++i) {
    if (buf_[i] == ',') commas_.push_back(i);
    if (orig_[i] == '\n') {
      lineStarts_.push_back(i + 1);
      if (firstBareLf_ == UINT32_MAX && IsBareLf(i)) firstBareLf_ = i;
    } else if (orig_[i] == '\r' && (i + 1 == size_ || orig_[i + 1] != '\n')) {
      lineStarts_.push_back(i + 1);
      if (firstLoneCr_ == UINT32_MAX) firstLoneCr_ = i;
    }
  }
  utf8_ = IsUtf8Script(orig_, size_, &firstNonAscii_);
}

// As an editor counts a column: a Shift-JIS character (or a UTF-8 one, in a
// script saved so) is one.
size_t Checker::CharacterBytes(uint32_t at) const {
  if (utf8_) {
    uint32_t code = 0;
    return std::max<size_t>(1, Utf8Length(orig_, size_, at, &code));
  }
  return IsSjisLeadByte(orig_[at]) && at + 1 < size_ && IsTrailByte(orig_[at + 1]) ? 2 : 1;
}

// A name for a message, in quotes: at most its first 60 bytes (whole
// characters), converted to UTF-8, other bytes shown as \xNN.
std::string Checker::Quoted(const std::string& name, bool utf8) const {
  utf8 = utf8 || utf8_;
  const auto* s = reinterpret_cast<const uint8_t*>(name.data());
  size_t cut = 0;
  while (cut < name.size()) {
    uint32_t code = 0;
    size_t bytes = utf8 ? std::max<size_t>(1, Utf8Length(s, name.size(), cut, &code))
                        : (IsSjisLeadByte(s[cut]) && cut + 1 < name.size() ? 2 : 1);
    if (cut + bytes > kQuotedBytes) break;
    cut += bytes;
  }
  const std::string part = name.substr(0, cut);
  std::string shown;
  if (utf8 ? IsUtf8(part) : Cp932ToUtf8(part, &shown)) {
    if (utf8) shown = part;
  } else {
    static const char kHex[] = "0123456789ABCDEF";
    shown.clear();
    for (const auto b : part) {
      const auto u = uint8_t(b);
      shown += u < 0x80 ? std::string(1, b) : std::string("\\x") + kHex[u >> 4] + kHex[u & 15];
    }
  }
  return '"' + Printable(shown) + (cut < name.size() ? "…\"" : "\"");
}

std::vector<Finding> Checker::Run() {
  if (utf8_) {
    Add(Severity::kError, firstNonAscii_,
        "this script is saved as UTF-8, but the player reads Shift-JIS and shows its text as garbage; convert it: "
        "iconv -f UTF-8 -t CP932 Script.txt > Script-sjis.txt, then use that as DATA/Script.txt");
  }
  if (firstBareLf_ != UINT32_MAX) {
    Add(Severity::kWarning, firstBareLf_,
        "this line ends in a bare line feed (LF): the player starts a new line of the page only at a carriage "
        "return, so the lines of a page run together; save the script with CR LF (Windows) line ends");
  }
  Walk();
  Reach();
  if (firstLoneCr_ != UINT32_MAX) {
    Add(loneCrSwallowed_ ? Severity::kError : Severity::kWarning, firstLoneCr_,
        "this line ends in a carriage return alone (old Mac line ends): the player sees no line end there, so a "
        "command's field runs on into the lines after it; save the script with CR LF (Windows) line ends");
  } else if (!ends_) {
    Add(Severity::kWarning, furthest_,
        "the story never ends: from its start no \"@Z\" and no end of the script can be reached, and this is the "
        "last place it turns back; put \"@Z\" where it should end");
  }
  for (const uint32_t cr : shownCrs_) {
    if (!reached_[cr]) continue;
    Add(Severity::kWarning, cr,
        "this line holds only commands, so its line end is page text and adds an empty line to the page; put the "
        "commands at the start of the next line of text");
  }
  Labels();
  Branches();
  if (unlisted_ > 0) {
    findings_.push_back({Severity::kWarning, size_, 0, 0,
                         std::to_string(unlisted_) + " more problems are not listed; mend these and check again"});
  }
  Place();
  state_.script.scriptPos = size_;
  return std::move(findings_);
}

Checker::Field Checker::Read(char* dest, size_t destSize) {
  const uint32_t start = state_.script.scriptPos;
  ReadField(state_, dest, destSize);
  uint32_t end = state_.script.scriptPos;
  if (end > start && buf_[end - 1] == ',') {
    --end;
    if (IsBareLf(end) && lineWidth_ > 0) lineJoined_ = true;
  }
  Field field{start, end - start, false};
  for (uint32_t i = start; i + 1 < end && !field.loneCr; ++i) field.loneCr = buf_[i] == '\r';
  loneCrSwallowed_ = loneCrSwallowed_ || field.loneCr;
  return field;
}

// The label number in the field at `from`, read as the player reads it;
// `end` is just after the field's comma. The cursor is left where it was.
int32_t Checker::NumberAt(uint32_t from, uint32_t* end) {
  from = std::min(from, size_);
  const auto comma = std::lower_bound(commas_.begin(), commas_.end(), from);
  const uint32_t stop = comma == commas_.end() ? size_ : *comma;
  char number[kNumberFieldBytes];
  const size_t kept = std::min<size_t>(stop - from, sizeof number - 1);  // as ReadField keeps it
  std::copy(buf_ + from, buf_ + from + kept, number);
  number[kept] = '\0';
  *end = stop < size_ ? stop + 1 : size_;
  return AtolRule(number);
}

void Checker::Walk() {
  uint32_t& pos = state_.script.scriptPos;
  // The second byte of the double-byte character being read: an "@" there
  // belongs to the character (81 40 is a full-width space).
  uint32_t trail = UINT32_MAX;
  pos = 0;
  while (pos < size_) {
    const uint32_t at = pos;
    if (line_ == SIZE_MAX || (line_ + 1 < lineStarts_.size() && at >= lineStarts_[line_ + 1])) {
      line_ = size_t(LineOf(at) - 1);
      lineHasText_ = lineHasCommand_ = false;
    }
    const uint8_t b = buf_[pos];
    if (b == ',') {
      if (IsBareLf(at) && lineWidth_ > 0) lineJoined_ = true;
      ++pos;
      continue;
    }
    if (b != '@') {
      if (!utf8_ && at != trail && IsSjisLeadByte(b)) trail = at + 1;
      Text(at);
      ++pos;
      continue;
    }
    ++pos;
    const uint8_t letter = pos < size_ ? buf_[pos] : 0;
    if (at == trail || !IsCommandLetter(letter)) {
      if (at != trail) {
        NotACommand(at);
      } else if (IsCommandLetter(letter)) {
        InsideCharacter(at, letter);
      }
      Text(at);
      continue;  // the byte after it is read on its own
    }
    ++pos;
    lineHasCommand_ = true;
    if (std::string_view("CJKTZ").find(char(letter)) != std::string_view::npos) turns_.push_back(at);
    if (letter == 'E' || letter == 'F') pageEnds_.push_back(at);
    char number[kNumberFieldBytes];
    switch (letter) {
      case 'A':
      case 'G':
      case 'M':
      case 'W': FileName(at, char(letter)); break;
      case 'C':
        ChoiceList(at);
        Stop(/*showsPage=*/false);
        break;
      case 'J':
        Read(number, sizeof number);
        Label(at, number, 'J');
        pendingCr_ = UINT32_MAX;  // what the page shows next depends on where it lands
        break;
      case 'S':
        Read(number, sizeof number);
        Label(at, number, 'S');
        break;
      case 'N':
        PutPage(at);
        lineHasText_ = true;
        LineBreak();
        break;
      case 'R':
        page_ = 0;
        pendingCr_ = UINT32_MAX;
        LineBreak();
        break;
      case 'E':
      case 'F':
      case 'K': Stop(/*showsPage=*/true); break;
      case 'P': PageSound(at); break;
      default:  // the rest take no field and do not touch the page
        break;
    }
  }
  Stop(/*showsPage=*/true);
}

void Checker::PutPage(uint32_t at) {
  if (++page_ == kMaxPageLength + 1) {
    Add(Severity::kError, at,
        "the page passes 999 bytes here and the rest is not shown; end the page with \"@E\" and start a new one "
        "with \"@R\" before here");
  }
}

// A byte the interpreter puts into the page.
void Checker::Text(uint32_t at) {
  PutPage(at);
  if (buf_[at] == '\r') {
    // The CR of a CR LF line end that holds only commands: an empty line on
    // the page, unless the next line is empty too (blank lines written on
    // purpose) or the page is cleared before it shows.
    const uint32_t next = at + 2;
    if (at + 1 < size_ && orig_[at + 1] == '\n' && lineHasCommand_ && !lineHasText_ &&
        !(next < size_ && (orig_[next] == '\r' || orig_[next] == '\n'))) {
      pendingCr_ = at;
    }
    LineBreak();
    return;
  }
  lineHasText_ = true;
  if (page_ <= kMaxPageLength) Draw(at);
}

// Measures the character at `at` as the page draws it: a Shift-JIS
// double-byte character 16 pixels, any other byte 8; "&" underlines the
// character after it and "&&" draws one "&".
void Checker::Draw(uint32_t at) {
  if (at < characterEnd_) return;  // the second byte of a character measured
  const uint8_t b = buf_[at];
  if (b == '&' && !ampersand_) {
    ampersand_ = true;
    return;
  }
  ampersand_ = false;
  uint32_t bytes = 1;
  int width = kHalfWidth;
  if (utf8_) {  // measured as it will be drawn once converted
    uint32_t code = 0;
    bytes = uint32_t(std::max<size_t>(1, Utf8Length(buf_, size_, at, &code)));
    if (code >= 0x80 && !(code >= 0xFF61 && code <= 0xFF9F)) width = kFullWidth;
  } else if (IsSjisLeadByte(b) && at + 1 < size_ && IsTrailByte(buf_[at + 1])) {
    bytes = 2;
    width = kFullWidth;
  }
  characterEnd_ = at + bytes;
  lineWidth_ += width;
  if (lineWidth_ > kTextBoxWidth && !lineReported_ && !lineJoined_) {
    lineReported_ = true;
    Add(Severity::kWarning, at,
        "this line of the page is wider than the text box (35 full-width characters, 560 pixels) and is cut off "
        "from here; break the line before this character");
  }
}

// The interpreter stops: a CR of a command line waiting in the page shows,
// unless the stop shows no page (a choice list).
void Checker::Stop(bool showsPage) {
  if (pendingCr_ != UINT32_MAX && showsPage) shownCrs_.push_back(pendingCr_);
  pendingCr_ = UINT32_MAX;
}

// The "@" at `at` is the second byte of a double-byte character and a
// command letter follows: the player runs the command.
void Checker::InsideCharacter(uint32_t at, uint8_t letter) {
  const std::string l(1, char(letter));
  if (findings_.size() >= kMaxFindings) {
    ++unlisted_;  // past the list's end the message is not even made: a script may hold millions
  } else {
    Add(ChangesCourse(letter) ? Severity::kError : Severity::kWarning, at - 1,
        CharacterName(buf_[at - 1]) + " before \"" + l + "\" makes the command \"@" + l +
            "\" (its second byte is \"@\"), which " + WhatItDoes(letter) +
            "; put a half-width space between them, or write the letter full-width (\"" + FullWidth(letter) + "\")");
  }
  asText_.push_back(at);
  if (letter == 'S') {  // the label scan takes it for a definition all the same
    uint32_t end = 0;
    const int32_t n = NumberAt(at + 2, &end);
    if (n >= 0 && n < kLabelCount) asTextDefinitions_.emplace_back(n, end);
  }
}

void Checker::NotACommand(uint32_t at) {
  const uint32_t next = at + 1;
  std::string what;
  if (next >= size_) {
    what = "\"@\" at the end of the script";
  } else if ((buf_[next] == ',' && orig_[next] == '\n') || buf_[next] == '\r') {
    what = "\"@\" at the end of a line";
  } else if (buf_[next] == '@' && next + 1 < size_ && buf_[next + 1] == 'S') {
    return;  // "@@S": the definition's own finding says so
  } else if (buf_[next] > 0x20 && buf_[next] < 0x7F) {
    what = std::string("\"@") + char(buf_[next]) + "\"";
  } else {
    static const char kHex[] = "0123456789ABCDEF";
    what = std::string("\"@\" followed by the byte 0x") + kHex[buf_[next] >> 4] + kHex[buf_[next] & 15];
  }
  Add(Severity::kWarning, at,
      what +
          " is not a command, so the \"@\" shows as text; correct the command letter, or write a full-width "
          "\"＠\" to show an at sign");
}

void Checker::FileName(uint32_t at, char letter) {
  char name[kFileFieldBytes];
  const Field field = Read(name, sizeof name);
  if (field.loneCr) return;  // the CR alone's finding says why the name runs on
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
        "the file name " + Quoted(whole) + " is " + std::to_string(whole.size()) + " bytes long, but " +
            (letter == 'G' ? "a picture's name is saved with only its first 19 bytes; rename the file to 19 bytes "
                             "or fewer"
                           : "the player reads only its first 31 bytes; rename the file to 31 bytes or fewer"));
    if (whole.size() >= kFileFieldBytes) return;
  }
  if (whole.empty()) {
    Add(Severity::kError, at,
        std::string("\"@") + letter + "\" has no file name; write the name right after \"@" + letter +
            "\", then a comma");
    return;
  }
  LookUp(at, name, letter == 'G' ? Media::kPicture : letter == 'M' ? Media::kMusic : Media::kSound);
}

// Is the file there, and will it load? Said once per name, and once per
// file and medium.
void Checker::LookUp(uint32_t at, const std::string& name, Media media) {
  const auto [known, first] = looked_.try_emplace(name);
  if (first) known->second = FindStoryFile(state_.storyRoot, name.c_str());
  const StoryFile& file = known->second;
  if (file.found && checked_.insert(char(media) + file.path).second) CheckMedia(at, file, Quoted(name), media);
  if (!first) return;
  if (!file.found) {
    const std::string nearest = NearestFile(name);
    Add(Severity::kError, at,
        "the file " + Quoted(name) + " is not in the story folder; " +
            (nearest.empty() ? "put it there, or correct the name"
                             : "did you mean " + Quoted(nearest, /*utf8=*/true) + "? correct the name, or put the file there"));
    return;
  }
  if (!file.exact) {
    Add(Severity::kWarning, at,
        "the file " + Quoted(name) + " is found only as " + Quoted(file.relative, /*utf8=*/true) +
            " (its case or its characters differ); the player uses that file, but write the name as the file has it");
  }
}

// The name in the story folder nearest to a missing one, ignoring case: a
// few edits away (one for a short name, up to three for a long one), or
// empty. Names are compared as the files are named, in UTF-8.
std::string Checker::NearestFile(const std::string& name) {
  constexpr int kMaxSuggestions = 256;  // a script naming thousands of missing files gets the first few
  if (++suggestions_ > kMaxSuggestions) return "";
  if (!storyFilesRead_) {
    storyFiles_ = StoryFiles(state_.storyRoot);
    storyFilesRead_ = true;
  }
  std::string wanted = name;
  std::replace(wanted.begin(), wanted.end(), '\\', '/');
  if (std::string utf8; !utf8_ && Cp932ToUtf8(wanted, &utf8)) wanted = utf8;
  wanted = LowerAscii(wanted);
  const size_t limit = std::clamp<size_t>(wanted.size() / 4, 1, 3);
  std::pair<size_t, std::string> best{limit + 1, ""};
  for (const std::string& file : storyFiles_) {
    const size_t d = EditDistance(wanted, LowerAscii(file), limit);
    if (d < best.first) best = {d, file};
  }
  return best.second;
}

// The file is read as the player reads it: a picture decoded with its
// decoder, a sound's header checked as the player checks it before playing.
void Checker::CheckMedia(uint32_t at, const StoryFile& file, const std::string& shown, Media media) {
  if (!IsRegularFile(file.path)) {
    Add(Severity::kError, at,
        "the file " + shown + " is not a regular file (a folder or a device), so it never loads; name a file");
    return;
  }
  std::string why;
  if (media == Media::kPicture) {
    std::vector<uint8_t> bytes;
    Image image;
    if (!ReadWholeFile(file.path, kMaxBitmapFileBytes, &bytes, &why) ||
        !DecodeBmp(bytes.data(), bytes.size(), &image, &why)) {
      Add(Severity::kError, at,
          "the picture " + shown + " cannot be shown: " + why + "; save it as a Windows bitmap (BMP)");
    }
  } else if (!CheckSoundFile(file.path, &why)) {
    Add(Severity::kError, at, "the sound " + shown + " will not play: " + why + "; save it again as a WAV or Ogg file");
  } else if (const std::string problem = SoundFilePlayProblem(file.path, file.path, media == Media::kMusic);
             !problem.empty()) {
    Add(Severity::kWarning, at, "the sound " + shown + " may not be heard: " + problem);
  }
}

// "@P" plays Page.wav from the story folder.
void Checker::PageSound(uint32_t at) {
  if (pageSoundLooked_) return;
  pageSoundLooked_ = true;
  const StoryFile file = FindStoryFile(state_.storyRoot, kPageSoundFile);
  if (file.found) {
    if (checked_.insert(char(Media::kSound) + file.path).second) {
      CheckMedia(at, file, std::string("\"") + kPageSoundFile + "\"", Media::kSound);
    }
    return;
  }
  const std::string similar = SimilarPageSound(state_.storyRoot);
  Add(Severity::kWarning, at,
      std::string("\"@P\" plays ") + kPageSoundFile + ", but the story folder has none (looked for " +
          Printable(file.path) + ")" +
          (similar.empty()
               ? "; put one there, or remove \"@P\""
               : "; there is " + Quoted(similar, /*utf8=*/true) + ": move or rename it to " + Printable(file.path)));
}

void Checker::ChoiceList(uint32_t at) {
  uint32_t& pos = state_.script.scriptPos;
  const size_t findingsBefore = findings_.size(), usesBefore = uses_.size();
  bool loneCr = false, closed = false;
  std::vector<int32_t> targets;
  for (int count = 1; pos < size_ && !closed; ++count) {
    char text[kChoiceTextBytes];
    const Field textField = Read(text, sizeof text);
    if (count == kMaxChoices + 1) {
      Add(Severity::kError, textField.start,
          "a choice list holds at most 5 choices; this one and any after it are not shown; remove them or split the "
          "list");
    }
    if (textField.length >= kChoiceTextBytes) {
      Add(Severity::kError, textField.start,
          "this choice text is " + std::to_string(textField.length) +
              " bytes long; only its first 99 bytes are shown; shorten it");
    }
    char number[kNumberFieldBytes];
    const Field numberField = Read(number, sizeof number);
    if (count > kMaxChoices) {  // a sixth choice cannot be taken
    } else if (!HasDigits(number)) {
      NoLabelNumber(textField, numberField);
    } else {
      Label(numberField.start, number, 'C');
      targets.push_back(AtolRule(number));
    }
    loneCr = loneCr || textField.loneCr || numberField.loneCr;
    closed = pos < size_ && buf_[pos] == '@';
    if (closed) ++pos;
  }
  if (!closed) {
    Add(Severity::kError, at,
        "this choice list has no closing \"@\" right after its last label number, so it runs on to the end of the "
        "script; put \"@\" on the line after its last choice");
  }
  if (loneCr) {  // the CR alone's finding says why the list runs on
    findings_.resize(findingsBefore);
    uses_.resize(usesBefore);
    return;
  }
  choiceLists_.push_back(std::move(targets));
}

// A choice whose number field holds no digits: it goes to label 0. Mostly the
// next choice's text, taken for the number when a list has none.
void Checker::NoLabelNumber(const Field& text, const Field& number) {
  auto field = [&](const Field& f) {
    std::string bytes(reinterpret_cast<const char*>(buf_ + f.start), f.length);
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();  // a CR LF line end
    return bytes;
  };
  const std::string taken = field(number);
  Add(Severity::kError, text.start,
      "the choice " + Bracketed(field(text)) + " has no label number" +
          (taken.empty() ? std::string(", so choosing it goes to label 0")
                         : " (the player takes " + Bracketed(taken) + " for it, which counts as label 0)") +
          "; write a comma and the label number after each choice's text");
}

// `kind` is the command: "S" defines, "J" jumps, "C" is a choice.
void Checker::Label(uint32_t at, const char* number, char kind) {
  const int32_t n = AtolRule(number);
  if (n < 0 || n >= kLabelCount) {
    Add(Severity::kError, at,
        "label number " + std::to_string(n) + " is outside 0 to 99, so " +
            (kind == 'S'   ? "this defines no label"
             : kind == 'J' ? "the jump goes to the start of the script"
                           : "choosing it goes to the start of the script") +
            "; use a number from 0 to 99");
  } else if (kind == 'S') {
    definitions_.push_back({n, at, state_.script.scriptPos});
  } else {
    uses_.push_back({n, at, kind == 'C'});
  }
}

// Follows the story from its start: which steps it reaches, and whether it
// can end.
void Checker::Reach() {
  reached_.assign(size_ + 1, false);
  std::vector<uint32_t> starts{0};
  while (!starts.empty()) {
    uint32_t pos = starts.back();
    starts.pop_back();
    bool title = false;  // "@T": the next "@E" goes back to the start
    while (true) {
      if (pos >= size_) {
        ends_ = true;
        break;
      }
      if (reached_[pos]) break;
      reached_[pos] = true;
      const uint8_t letter = pos + 1 < size_ ? buf_[pos + 1] : 0;
      if (buf_[pos] != '@' || !IsCommandLetter(letter) || std::binary_search(asText_.begin(), asText_.end(), pos)) {
        ++pos;
        continue;
      }
      uint32_t next = pos + 2;
      bool turns = false;
      switch (letter) {
        case 'A':
        case 'G':
        case 'M':
        case 'S':
        case 'W':
          while (next < size_ && buf_[next] != ',') ++next;
          if (next < size_) ++next;
          break;
        case 'J':
          starts.push_back(LabelPosition(state_, NumberAt(pos + 2, &next)));
          turns = true;
          break;
        case 'C':
          for (int count = 0; next < size_; ++count) {
            while (next < size_ && buf_[next] != ',') ++next;  // the text
            const int32_t n = NumberAt(next < size_ ? next + 1 : next, &next);
            if (count < kMaxChoices) starts.push_back(LabelPosition(state_, n));
            if (next < size_ && buf_[next] == '@') break;
          }
          turns = true;
          break;
        case 'T': title = true; break;
        case 'E':
          turns = title;  // Enter on the notice starts the story again
          break;
        case 'Z': ends_ = true; break;
        default: break;
      }
      if (turns) {
        furthest_ = std::max(furthest_, pos);
        break;
      }
      pos = next;
    }
  }
}

// The label scan as BuildLabelIndex runs it, listing every definition it
// stores: (its number, just after its comma), in script order.
void Checker::Labels() {
  std::vector<std::pair<uint32_t, int32_t>> stored;
  for (uint32_t pos = 0; pos < size_; ++pos) {
    if (buf_[pos] != '@') continue;
    ++pos;
    if (pos < size_ && buf_[pos] == 'S') {
      const int32_t n = NumberAt(pos + 1, &pos);
      if (n >= 0 && n < kLabelCount) stored.emplace_back(pos, n);
    }
  }
  const auto& table = state_.script.labelTable;
  std::array<const Definition*, kLabelCount> kept{};  // the definition counting so far, by number
  std::array<bool, kLabelCount> skipped{};    // a definition the index skips: its finding covers the label's uses
  std::array<bool, kLabelCount> explained{};  // the index's entry is a definition met, or a character reported
  for (const Definition& d : definitions_) {
    const auto n = size_t(d.number);
    explained[n] = explained[n] || table[n] == d.end;
    const auto it = std::lower_bound(stored.begin(), stored.end(), std::make_pair(d.end, INT32_MIN));
    if (it != stored.end() && it->first == d.end && it->second == d.number) {
      if (kept[n]) {
        Add(Severity::kWarning, d.at,
            "label " + std::to_string(n) + " is also defined on line " + std::to_string(LineOf(kept[n]->at)) +
                "; jumps go to this later definition; give one of them another number");
      }
      kept[n] = &d;
      continue;
    }
    skipped[n] = true;
    std::string why = "it lies inside another field; put it on a line of its own";
    if (d.at > 0 && buf_[d.at - 1] == '@') why = "it follows another \"@\"; remove that \"@\"";
    if (d.at > 0 && buf_[d.at - 1] == ',') {
      why = orig_[d.at - 1] == '\n' ? "it is on the line right after another definition; put a line of text or "
                                      "another command between them"
                                    : "it starts right after another definition's comma; put another command "
                                      "between them";
    }
    const uint32_t target = LabelPosition(state_, d.number);
    Add(Severity::kError, d.at,
        "the label index skips this definition of label " + std::to_string(n) + ", so jumps to it go to " +
            (target == 0 ? std::string("the start of the script") : "line " + std::to_string(LineOf(target))) + ": " +
            why);
  }
  for (const auto& [n, end] : asTextDefinitions_)
    explained[size_t(n)] = explained[size_t(n)] || table[size_t(n)] == end;
  // The label scan does not know fields: an "@S" inside a file name or a
  // choice text (a full-width space before "S" is one) defines a label too.
  for (size_t n = 0; n < kLabelCount; ++n) {
    if (table[n] == 0 || explained[n]) continue;
    uint32_t at = table[n] - 1;  // its comma; the "@S" is before its number
    while (at > 0 && !(buf_[at - 1] == '@' && buf_[at] == 'S')) --at;
    const uint32_t atSign = at > 0 ? at - 1 : 0;
    const std::string where = "defines label " + std::to_string(n) +
                              " for the label index, so jumps to it go to line " + std::to_string(LineOf(table[n]));
    if (!utf8_ && atSign > 0 && IsSjisLeadByte(buf_[atSign - 1])) {
      Add(Severity::kError, atSign - 1,
          CharacterName(buf_[atSign - 1]) + " before \"S\" inside this field makes \"@S\", which " + where +
              "; put a half-width space between them, or write the letter full-width (\"Ｓ\")");
    } else {
      Add(Severity::kError, atSign, "an \"@S\" inside a field " + where + "; take the \"@S\" out of the field");
    }
  }
  for (const Use& u : uses_) {
    if (table[size_t(u.number)] != 0 || skipped[size_t(u.number)]) continue;
    Add(Severity::kWarning, u.at,
        "label " + std::to_string(u.number) + " is never defined, so " + (u.choice ? "choosing it" : "the jump") +
            " goes to the start of the script; define it with \"@S" + std::to_string(u.number) +
            ",\" where the story should go on");
  }
}

// A choice's branch that runs on into the label of another choice of the same
// list: said once a pair, at the branch's last page end (or at the label it
// runs into, when it has none).
void Checker::Branches() {
  const auto& table = state_.script.labelTable;
  std::array<uint32_t, kLabelCount> defined{};  // the "@" of the definition each label's entry comes from, +1
  for (const Definition& d : definitions_) {
    if (table[size_t(d.number)] == d.end) defined[size_t(d.number)] = d.at + 1;
  }
  std::set<std::pair<int32_t, int32_t>> said;
  for (const std::vector<int32_t>& list : choiceLists_) {
    for (const int32_t a : list) {
      if (a < 0 || a >= kLabelCount || !defined[size_t(a)]) continue;
      const uint32_t from = table[size_t(a)];
      int32_t next = -1;  // the first label of the list defined after this branch starts
      for (const int32_t b : list) {
        if (b == a || b < 0 || b >= kLabelCount || !defined[size_t(b)] || defined[size_t(b)] - 1 < from) continue;
        if (next < 0 || defined[size_t(b)] < defined[size_t(next)]) next = b;
      }
      if (next < 0) continue;
      const uint32_t into = defined[size_t(next)] - 1;
      const auto turn = std::lower_bound(turns_.begin(), turns_.end(), from);
      if ((turn != turns_.end() && *turn < into) || !said.insert({a, next}).second) continue;
      const auto end = std::lower_bound(pageEnds_.begin(), pageEnds_.end(), into);
      const uint32_t at = end != pageEnds_.begin() && *(end - 1) >= from ? *(end - 1) : into;
      const std::string la = "label " + std::to_string(a), lb = "label " + std::to_string(next);
      Add(Severity::kWarning, at,
          "the branch of " + la + " runs on into " + lb + ", the branch of another choice of the same list, so a "
          "reader who chose " + la + " reads both; end the branch with \"@J\" and the label where the story goes "
          "on");
    }
  }
}

// Sorts the findings into script order and gives each its line and column,
// counting characters from the line's start in one pass over the findings.
void Checker::Place() {
  std::stable_sort(findings_.begin(), findings_.end(),
                   [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
  uint32_t line = 0, cursor = 0, column = 1;
  for (Finding& f : findings_) {
    const uint32_t l = LineOf(f.offset);
    if (l != line) {
      line = l;
      cursor = lineStarts_[l - 1];
      column = 1;
    }
    while (cursor < f.offset && cursor + CharacterBytes(cursor) <= f.offset) {
      cursor += uint32_t(CharacterBytes(cursor));
      ++column;
    }
    f.line = l;
    f.column = column;
  }
}

}  // namespace

std::vector<Finding> CheckScript(EngineState& state, const std::vector<uint8_t>& original) {
  return Checker(state, original).Run();
}

bool CheckStory(const std::string& root, StoryCheck* check, std::string* error) {
  // Read once, as the player reads it: line numbers count the line feeds,
  // which become commas in the player's copy.
  const StoryFile script = FindStoryFile(root, kScriptFileName);
  std::vector<uint8_t> original;
  if (!ReadWholeFile(script.path, std::numeric_limits<uint32_t>::max() - 1, &original, error)) return false;
  auto state = std::make_unique<EngineState>();
  state->storyRoot = root;
  SetScript(*state, original);
  BuildLabelIndex(*state);
  check->scriptName = script.relative;
  check->scriptPath = script.path.starts_with("./") ? script.path.substr(2) : script.path;
  check->findings = CheckScript(*state, original);
  return true;
}

}  // namespace ks

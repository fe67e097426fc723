#include "present/scene.h"

#include <cstring>

#include "core/engine_state.h"
#include "core/sjis.h"

namespace ks {
namespace {

constexpr Rect kPageRect{40, 35, 600, 430};
constexpr Rect kNoticeBox{230, 210, 362, 250};
constexpr Rect kTitleNoticeBox{230, 210, 390, 250};
constexpr Rect kSaveFailedBox{230, 210, 426, 250};  // 11 characters of 16 pixels and the margins
constexpr int kNoticeTextX = 240, kNoticeTextY = 220;
constexpr Rect kMenuBox{250, 185, 335, 310};
constexpr int kMenuTextX = 265, kMenuTextY = 200;
constexpr int kRowPitch = 20;

// The system menu's rows, in Shift-JIS: セーブ, ロード, ｷｬﾝｾﾙ, 終　了, ﾀｲﾄﾙへ.
constexpr char kMenuRowText[kMenuRows][20] = {
    "\x83\x5A\x81\x5B\x83\x75",
    "\x83\x8D\x81\x5B\x83\x68",
    "\xB7\xAC\xDD\xBE\xD9",
    "\x8F\x49\x81\x40\x97\xB9",
    "\xC0\xB2\xC4\xD9\x82\xD6",
};
constexpr char kSavedText[] = "\x83\x5A\x81\x5B\x83\x75\x82\xB5\x82\xDC\x82\xB5\x82\xBD";  // セーブしました
constexpr char kLoadedText[] = "\x83\x8D\x81\x5B\x83\x68\x82\xB5\x82\xDC\x82\xB5\x82\xBD";  // ロードしました
constexpr char kTitleText[] =
    "\x83\x5E\x83\x43\x83\x67\x83\x8B\x82\xD6\x96\xDF\x82\xE8\x82\xDC\x82\xB7";  // タイトルへ戻ります

std::string Bytes(const char* text, size_t length) { return std::string(text, strnlen(text, length)); }

void AddText(Scene& scene, DrawOp::Kind kind, int x, int y, std::string text, Color color) {
  scene.ops.push_back({kind, {x, y, x, y}, color, std::move(text)});
}

}  // namespace

std::string Words(const char* utf8) {
  std::string bytes;
  return Utf8ToCp932(utf8, &bytes) ? bytes : std::string();
}

void AddPageText(Scene& scene, const PageState& page) {
  scene.ops.push_back({DrawOp::Kind::kPageText, kPageRect, kWhite, Bytes(page.pageText, kPageBytes)});
}

void AddNotice(Scene& scene, Notice notice) {
  if (notice == Notice::kSaveFailed) {
    // The player's own notice, in the same box widened to its eleven characters.
    static const std::string kSaveFailedText = Words("セーブできませんでした");
    scene.ops.push_back({DrawOp::Kind::kBox, kSaveFailedBox, kBlack, {}});
    AddText(scene, DrawOp::Kind::kNoticeText, kNoticeTextX, kNoticeTextY, kSaveFailedText, kBlack);
    return;
  }
  const bool title = notice == Notice::kTitle;
  scene.ops.push_back({DrawOp::Kind::kBox, title ? kTitleNoticeBox : kNoticeBox, kBlack, {}});
  const char* text = title ? kTitleText : notice == Notice::kSaved ? kSavedText : kLoadedText;
  AddText(scene, DrawOp::Kind::kNoticeText, kNoticeTextX, kNoticeTextY, text, kBlack);
}

void AddSystemMenu(Scene& scene, int32_t cursor) {
  scene.ops.push_back({DrawOp::Kind::kBox, kMenuBox, kBlack, {}});
  for (int row = 0; row < kMenuRows; ++row) {
    const int y = kMenuTextY + kRowPitch * row;
    scene.ops.push_back({DrawOp::Kind::kMenuText, {kMenuTextX, y, kMenuBox.right, y + kRowPitch},
                         row == cursor ? kHighlight : kBlack, Bytes(kMenuRowText[row], sizeof kMenuRowText[row]),
                         RowList::kMenu, row});
  }
}

void AddChoiceList(Scene& scene, const ChoiceState& choices, int32_t count, int32_t cursor) {
  for (int i = 0; i < count && i < kMaxChoices; ++i) {
    const int x = choices.choiceX, y = choices.choiceY + kRowPitch * i;
    scene.ops.push_back({DrawOp::Kind::kMenuText, {x, y, x, y + kRowPitch}, i == cursor ? kHighlight : kWhite,
                         Bytes(choices.choiceTexts[i], kChoiceTextBytes), RowList::kChoices, i});
  }
}

void AddBacklogPage(Scene& scene, const std::string& text, size_t n, size_t total) {
  scene.ops.push_back({DrawOp::Kind::kDarken, {0, 0, kScreenWidth, kScreenHeight}, kBlack, {}});
  scene.ops.push_back({DrawOp::Kind::kPageText, kPageRect, kWhite, text});
  AddText(scene, DrawOp::Kind::kNoticeText, 540, 452, std::to_string(n) + " / " + std::to_string(total), kWhite);
}

// The marks keep to the strips above and below the page's lines (which run
// from y = 35 to 430), where they are whole and cover no text.
void AddModeMark(Scene& scene, const std::string& text) {
  // Right-aligned: letters are 8 pixels wide.
  AddText(scene, DrawOp::Kind::kNoticeText, 632 - 8 * int(text.size()), 450, text, kHighlight);
}

void AddSwitchMark(Scene& scene, const std::string& text) {
  AddText(scene, DrawOp::Kind::kNoticeText, 8, 450, text, kHighlight);
}

void StyleStoryText(Scene& scene, TextBackdrop backdrop, bool hidden) {
  if (hidden) {
    scene.ops.clear();
    return;
  }
  if (backdrop == kNoBackdrop) return;
  const TextStyle style = backdrop == kBandBackdrop ? TextStyle::kBand : TextStyle::kOutline;
  for (DrawOp& op : scene.ops) {
    if (op.kind == DrawOp::Kind::kBox) break;  // a menu or a notice: black on white, over the rest
    if (op.kind == DrawOp::Kind::kPageText || op.kind == DrawOp::Kind::kMenuText) op.style = style;
  }
}

void AddVolumeMark(Scene& scene, int volume, bool muted) {
  scene.ops.push_back({DrawOp::Kind::kBox, {10, 2, 214, 33}, kBlack, {}});
  static const std::string kVolume = Words("音量"), kMuted = Words("消音");
  AddText(scene, DrawOp::Kind::kNoticeText, 22, 9, muted ? kMuted : kVolume, kBlack);
  for (int step = 0; step < 10; ++step) {  // ten bars, lit up to the level
    const Color color = !muted && volume >= (step + 1) * 10 ? kHighlight : Color{190, 190, 190};
    scene.ops.push_back({DrawOp::Kind::kFill, {62 + step * 14, 9, 72 + step * 14, 25}, color, {}});
  }
}

void AddShotMark(Scene& scene) {
  scene.ops.push_back({DrawOp::Kind::kBox, {454, 2, 630, 33}, kBlack, {}});
  static const std::string kShot = Words("スクリーンショット");
  AddText(scene, DrawOp::Kind::kNoticeText, 470, 9, kShot, kBlack);
}

void AddHelp(Scene& scene, const std::vector<std::string>& lines) {
  const int height = int(lines.size()) * 18 + 24;
  scene.ops.push_back({DrawOp::Kind::kBox, {40, 240 - height / 2, 600, 240 + height / 2}, kBlack, {}});
  for (size_t i = 0; i < lines.size(); ++i) {
    AddText(scene, DrawOp::Kind::kNoticeText, 60, 240 - height / 2 + 12 + int(i) * 18, lines[i], kBlack);
  }
}

}  // namespace ks

#include "reader/key_help.h"

namespace ks {
namespace {

constexpr KeyHelp kRows[] = {
    {"Enter, left click, wheel down", "go on; take the highlighted choice or menu row; dismiss a notice",
     "Enter・左クリック・ホイール下　次へ、決定"},
    {"Up, Down, pointer", "move the highlight in a choice list or the menu", "↑↓・ポインタ　選ぶ"},
    {"Space, right click", "open the menu on a page (a right click also closes it); nothing in a choice list",
     "Space・右クリック　メニュー（選択肢では何もしない）"},
    {"Escape", "quit (closes the help or the backlog first)", "Escape　終わる"},
    {"PageUp, wheel up", "the backlog: look back at the pages read", "PageUp・ホイール上　読んだページを戻って見る"},
    {"PageDown, Backspace", "in the backlog: newer pages, and close it", "PageDown・Backspace　戻る、閉じる"},
    {"Enter in the backlog", "go back to that page (a choice list shows again); the pages after it go",
     "バックログでEnter　そのページに戻る"},
    {"F5, F9", "quick save; quick load (or go on from where the story was last quit)",
     "F5　クイックセーブ　F9　クイックロード、続きから"},
    {"F2, F3", "the save slots, the load slots (Escape, Backspace or a right click closes)",
     "F2　セーブ　F3　ロード（スロット）"},
    {"Ctrl", "held: skip the pages read before", "Ctrl（押したまま）　読んだページを飛ばす"},
    {"Tab", "skip the pages read before until a stop", "Tab　読んだページを飛ばし続ける"},
    {"Shift+Tab", "skip the pages not read yet too", "Shift+Tab　まだのページも飛ばす"},
    {"A", "auto mode: pages turn by themselves", "A　自動で進む"},
    {"[, ]", "auto mode slower, faster", "[ ]　自動の速さ"},
    {"-, +, 0", "volume down, up; mute", "－ ＋　音量　0　消音"},
    {"V", "speech: each page, the choices, the menu's rows and notices read aloud",
     "V　読み上げ"},
    {"Shift+C", "each page's text on the clipboard, for a screen reader or a braille display",
     "Shift+C　ページの文をクリップボードへ"},
    {"B", "behind the text: a dark band, a dark outline, or nothing", "B　文字の背景：帯・縁取り・なし"},
    {"H, middle click", "hide the text to see the picture (any key shows it again)",
     "H・中クリック　文字を隠して絵を見る"},
    {"gamepad A, B, Start", "A as Enter, B as a right click (the menu, cancel), Start the menu; the d-pad as Up, Down",
     "パッド　A 次へ　B メニュー・取消　十字 ↑↓"},
    {"gamepad LB, RB, X, Y", "LB the backlog, RB held skips, X auto mode, Y hides the text",
     "パッド　LB 読んだページ　RB 飛ばす　X 自動　Y 隠す"},
    {"F11, Alt+Enter", "full screen or a window", "F11・Alt+Enter　全画面とウィンドウ"},
    {"F12, Print", "a screenshot", "F12・Print　スクリーンショット"},
    {"F1", "this help (any key closes it)", "F1　このヘルプ（何かキーを押すと閉じる）"},
};

}  // namespace

std::span<const KeyHelp> KeyHelpRows() { return kRows; }

}  // namespace ks

// What the player adds for its readers: settings, mouse, marks, help; its command line.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <ini.h>

#include "reader/settings.h"
#include "support.h"

// The browser build's INI parser, linked under another name beside the desktop's libinih.
extern "C" int ks_web_ini_parse_stream(ini_reader reader, void* stream, ini_handler handler, void* user);

namespace ks {
namespace {

using test::PageString;

TEST(Settings, DamagedKeysAreIgnoredOneByOneAndUnknownOnesKept) {
  test::TempStory story;
  const std::string path = story.Path("config/kamishibai/settings.ini");
  Settings settings;
  std::string problems;
  LoadSettings(path, &settings, &problems);  // none yet: the defaults, quietly
  EXPECT_EQ(problems, "");
  EXPECT_EQ(settings, Settings{});

  story.Write("config/kamishibai/settings.ini",
              "# mine\nvolume = 300\nmode = sideways\nthis is no setting\nwindow_width = 800\nmuted = yes\n");
  LoadSettings(path, &settings, &problems);
  EXPECT_EQ(settings.volume, 100);
  EXPECT_TRUE(settings.fullScreen);
  EXPECT_EQ(settings.windowWidth, 800);
  EXPECT_TRUE(settings.muted);
  EXPECT_EQ(problems, "settings file " + path + ": ignored line 4 is not \"key = value\", a bad volume, a bad mode");

  const Settings read = settings;
  settings.volume = 40;
  std::string error;
  ASSERT_TRUE(SaveSettings(path, read, settings, &error)) << error;
  Settings again;
  LoadSettings(path, &again, &problems);
  EXPECT_EQ(again, settings);
  EXPECT_EQ(problems, "settings file " + path + ": ignored line 4 is not \"key = value\", a bad mode");  // lines kept
  const std::string saved = story.Read("config/kamishibai/settings.ini");
  const Settings written = settings;
  settings.volume = 10;  // a write that cannot finish leaves the old file whole
  EXPECT_FALSE(test::WithFullDisk(64, [&] { return SaveSettings(path, written, settings, &error); }));
  EXPECT_EQ(story.Read("config/kamishibai/settings.ini"), saved);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(story.Path("config/kamishibai")), {}), 1);
}

class Reader : public test::FrameTest {
 protected:
  // One frame with `keys` as the platform gives them.
  void Frame(FrameKeys keys) {
    platform_.SetKeys({keys, false});
    const uint64_t before = platform_.processed();
    while (platform_.processed() == before) ASSERT_TRUE(MainLoopStep(state_, platform_));
  }
  static FrameKeys Press(ReaderKey key) { return FrameKeys{.readerKeys = 1u << unsigned(key)}; }
  static FrameKeys Pointer(int x, int y, bool left = false, bool right = false) {
    return FrameKeys{.leftButton = left, .rightButton = right, .pointerX = x, .pointerY = y, .pointerMoved = true};
  }
};

// The browser's INI parser makes the desktop libinih's calls and error line.
TEST(Settings, TheBrowsersParserReadsAsTheDesktopsDoes) {
  auto run = [](auto parse, std::string text) {
    std::string calls;
    FILE* in = fmemopen(text.data(), text.size(), "r");
    const int error = parse([](char* line, int size, void* f) { return std::fgets(line, size, static_cast<FILE*>(f)); }, in,
                            [](void* user, const char* section, const char* name, const char* value) {
                              *static_cast<std::string*>(user) += std::string(section) + "|" + name + "=" + value + "\n";
                              return std::string(name) != "refuse" ? 1 : 0;
                            }, &calls);
    std::fclose(in);
    return calls + "error " + std::to_string(error);
  };
  for (const std::string& text : {"\xEF\xBB\xBF" "a = 1 ; note\n  more\n#x\n;y\n[s]\nb: 2;3\n" + std::string(260, '7') + "=8\n",
                                  std::string("no value\n[broken\nc=\t 4 \r\n  indented = first\n=\n"),
                                  "refuse = 1\nd = 5\n  cont ; c\n[" + std::string(70, 's') + "]\n" + std::string(60, 'n') + "=6\n"}) {
    EXPECT_EQ(run(ks_web_ini_parse_stream, text), run(ini_parse_stream, text)) << text;
  }
}

TEST_F(Reader, TheMouseActsAsTheStorysKeys) {
  Start("one@E@Rtwo@E@Rthree@E@Cleft,1,right,2,@\n@S1\n@Rwent left@E@S2\n@Rwent right@E");
  Frame(Pointer(10, 10, true));  // a click anywhere on a page: Enter
  Frame(Pointer(10, 10, true));  // held: once
  EXPECT_EQ(Summary(), "mode=0 cursor=0 page=two");
  Frame({.wheelDown = true});
  Frame({});
  EXPECT_EQ(Summary(), "mode=0 cursor=0 page=three");
  Frame(Pointer(10, 10, false, true));  // right: the menu
  Frame(Pointer(290, 265));              // where its fourth row comes, before it shows: nothing
  EXPECT_EQ(Summary(), "mode=-1 cursor=0 page=three");
  Frame(Pointer(290, 266));  // over the fourth row, drawn
  EXPECT_EQ(Summary(), "mode=-1 cursor=3 page=three");
  Frame(Pointer(10, 10, false, false));
  Frame(Pointer(10, 10, false, true));  // right again: cancel
  EXPECT_EQ(Summary(), "mode=0 cursor=0 page=three");
  Frame({});
  Frame({.enter = true});
  Frame(Pointer(10, 330, true));  // beside the choices, left and right of a row: nothing
  Frame(Pointer(10, 330));
  Frame(Pointer(600, 345, true));
  Frame(Pointer(600, 345));
  EXPECT_EQ(state_.screen.uiMode, 2);
  Frame(Pointer(290, 345, true));  // on the second
  EXPECT_EQ(Summary(), "mode=0 cursor=1 page=went right");
}

TEST_F(Reader, MarksShowForAWhileAndTheHelpSwallowsTheKeyThatClosesIt) {
  test::RecordingAudio audio;
  Start("one@E@Rtwo@E");
  state_.sound.audio = &audio;
  auto litBars = [&] {
    int lit = 0;
    for (int bar = 0; bar < 10; ++bar) lit += Shown(67 + 14 * bar, 17) == 0x32FF32;
    return lit;
  };
  Frame(Press(ReaderKey::kVolumeDown));
  Frame(Press(ReaderKey::kVolumeDown));
  EXPECT_EQ(litBars(), 8);
  EXPECT_EQ(state_.reader.settings.volume, 80);
  EXPECT_TRUE(state_.reader.settingsChanged);
  Frame(Press(ReaderKey::kMute));
  EXPECT_EQ(litBars(), 0);
  ASSERT_TRUE(Frames(".*31"));  // a second later the mark is gone
  EXPECT_EQ(Shown(67, 17), Shown(67, 100));
  Frame(Press(ReaderKey::kMute));

  Frame(Press(ReaderKey::kHelp));
  EXPECT_EQ(Shown(50, 240), 0xFFFFFFu);  // the help's box
  Frame({.enter = true});                // closes it, and does nothing else
  Frame({.enter = true});
  EXPECT_EQ(Shown(50, 240), 0u);
  Frame({});
  Frame(Press(ReaderKey::kHideText));  // the text hidden; a key shows it, and does nothing else
  Frame(Press(ReaderKey::kBackdrop));
  EXPECT_EQ(state_.reader.settings.textBackdrop, kNoBackdrop);
  EXPECT_EQ(PageString(state_), "one");
  EXPECT_EQ(audio.calls, std::vector<std::string>{});  // no sound played, though the volume changed
  Frame({.enter = true});
  EXPECT_EQ(PageString(state_), "two");
}

// Each mark is whole on the screen and covers no line of a page written to its last line.
TEST_F(Reader, MarksAreWholeAndCoverNoText) {
  std::string lines;
  for (int line = 0; line < 24; ++line) lines += "MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM\r";
  Start("@R" + lines + "@E");
  ASSERT_TRUE(Frames(".*40"));
  const std::vector<uint32_t> page = state_.display.primarySurface.pixels;
  for (ReaderKey key : {ReaderKey::kVolumeDown, ReaderKey::kScreenshot, ReaderKey::kAutoSlower}) {
    state_.reader.picturesFolder = story_.Path("shots");
    Frame(Press(key));
    int changed = 0, overText = 0, right = 0;
    for (int y = 0; y < 480; ++y) {
      for (int x = 0; x < 640; ++x) {
        if (Shown(x, y) == page[size_t(y) * 640 + size_t(x)]) continue;
        ++changed;
        overText += x >= 40 && x < 600 && y >= 35 && y < 430;
        right = std::max(right, x);
      }
    }
    EXPECT_GT(changed, 100) << int(key) << ": no mark";
    EXPECT_EQ(overText, 0) << int(key) << ": the mark covers the page's text";
    EXPECT_LT(right, 636) << int(key) << ": the mark runs off the screen";
    ASSERT_TRUE(Frames(".*60"));  // gone again
    EXPECT_EQ(state_.display.primarySurface.pixels, page);
  }
}

// The voice and the clipboard, recorded: "say X", "stop", "clip X".
struct ReadOutRecorder : Speech, Clipboard {
  bool Start(std::string*) override { return true; }
  void Say(const std::string& text) override { calls.push_back("say " + text); }
  void Stop() override { calls.push_back("stop"); }
  void PutOnClipboard(const std::string& text) override { calls.push_back("clip " + text); }
  std::vector<std::string> calls;
};

// Each run's page once, however alike; not the page under a choice list; choices numbered.
TEST_F(Reader, SpeechAndTheClipboardReadEachThingOnceAsItComes) {
  Start("@Rtwo\r\nlines && &one@E@Rtwo\r\nlines && &one@E@Rlast@E@Cx,1,y,2,@\n@S1\n@Rone@E@S2\n@Rtwo@E");
  ReadOutRecorder out;
  state_.reader.speech = &out;
  state_.reader.clipboard = &out;
  const FrameKeys enter{.enter = true}, space{.space = true}, down{.down = true};
  const struct {
    FrameKeys keys;
    std::vector<std::string> calls;
  } steps[] = {
      {Press(ReaderKey::kSpeech), {"stop", "say two\nlines & one"}},
      {Press(ReaderKey::kClipboard), {"clip two\nlines & one"}},
      {enter, {"clip two\nlines & one", "stop", "say two\nlines & one"}},
      {{}, {}},
      {enter, {"clip last", "stop", "say last"}},
      {{}, {}},
      {enter, {"say 1. x\n2. y\n"}},
      {{}, {}},
      {enter, {}},  // the frame that takes a choice still shows the list
      {{}, {"clip one", "stop", "say one"}},
      {space, {"stop", "say \xE3\x82\xBB\xE3\x83\xBC\xE3\x83\x96"}},  // セーブ
      {down, {"stop", "say \xE3\x83\xAD\xE3\x83\xBC\xE3\x83\x89"}},   // ロード
      {Press(ReaderKey::kSpeech), {"stop"}},
  };
  for (const auto& step : steps) {
    out.calls.clear();
    Frame(step.keys);
    EXPECT_EQ(out.calls, step.calls) << Summary();
  }
}

TEST(PlayerCommandLine, HelpVersionBadArgumentsAndNoStory) {
  test::TempStory story;
  auto run = [&](const std::string& args) {
    const std::string command = args.rfind("DISPLAY", 0) == 0 ? args : KS_PLAYER " " + args;
    const int raw = std::system((command + " >" + story.Path("out") + " 2>&1").c_str());
    return std::pair{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, story.Read("out")};
  };
  for (const auto& [args, status] : {std::pair{"--help", 0}, {"--version", 0}, {"--frobnicate", 2}, {"a b", 2}}) {
    EXPECT_EQ(run(args).first, status) << args;
  }
  EXPECT_NE(run("--help").second.find("usage: kamishibai [OPTIONS] [STORY]"), std::string::npos);
  EXPECT_EQ(run("--version").second.substr(0, 11), "kamishibai ");
  EXPECT_EQ(run(story.root()), (std::pair{1, "kamishibai: no story at " + story.root() + ": " + story.root() +
                                                 "/DATA/Script.txt is not there\n"}));
  story.WriteScript("page@E");  // no display: one line, not a story drawn nowhere
  EXPECT_EQ(run("DISPLAY= WAYLAND_DISPLAY= " KS_PLAYER " " + story.root()),
            (std::pair{1, std::string("kamishibai: cannot open the display: no X11 or Wayland display answers\n")}));
}

}  // namespace
}  // namespace ks

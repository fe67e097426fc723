// The real player under Xvfb, driven by xdotool, its screen held to the replay.
#include <sys/stat.h>

#include <csignal>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include <SDL.h>

#include "core/sjis.h"
#include "platform/desktop/png.h"
#include "platform/sdl/sdl_platform.h"
#include "read_png.h"
#include "reader/aids.h"
#include "reader/slots.h"
#include "save/save_file.h"
#include "support.h"
#include "x_session.h"

namespace ks {
namespace {

using test::SleepMs;

using test::Pages;

// The replay's keys for `n` presses of Enter.
std::string Presses(int n) { return "." + test::Repeat(" E .", n); }

// A player on an X screen of its own, its files inside the story's folder.
class Player : public ::testing::Test {
 protected:
  void SetUp() override { StartX(640, 480); }
  void StartX(int width, int height) {
    x_ = std::make_unique<test::XSession>();
    std::string error;
    ASSERT_TRUE(x_->Start(&error, width, height)) << error;
  }
  // Starts the player with `args` (the story folder when none) from `launchDir_`.
  void Launch(std::vector<std::string> args = {}, const std::map<std::string, std::string>& env = {}) {
    std::map<std::string, std::string> all = {{"DISPLAY", x_->display()}, {"HOME", story_.root()},
                                              {"XDG_CONFIG_HOME", story_.Path("config")},
                                              {"XDG_DATA_HOME", story_.Path("data")}};
    for (const auto& [name, value] : env) all[name] = value;
    if (args.empty()) args = {story_.root()};
    args.insert(args.begin(), KS_PLAYER);
    CopySlots(Slots(), story_.Path("slots-at-start"));
    ASSERT_TRUE(player_.Start(args, launchDir_, all, story_.Path("player.log")));
    // The window is named for the story's folder.
    const std::string folder = std::filesystem::path(args.back()).filename().string();
    ASSERT_TRUE(x_->WaitForWindow(folder + " — Kamishibai", 10000)) << Log();
    SleepMs(300);
  }
  std::string Log() const { return story_.Read("player.log"); }
  // The player's slots of the story ("" before any).
  std::string Slots() const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(story_.Path("data/kamishibai/stories"), ec)) {
      return entry.path().string();
    }
    return "";
  }
  // Copies the slots in `from` to `to`, with their times: F9 takes the newest.
  static void CopySlots(const std::string& from, const std::string& to) {
    std::filesystem::remove_all(to);
    std::filesystem::create_directory(to);
    std::error_code none;
    for (const auto& entry : std::filesystem::directory_iterator(from, none)) {
      const auto copy = std::filesystem::path(to) / entry.path().filename();
      std::filesystem::copy(entry.path(), copy);
      std::filesystem::last_write_time(copy, std::filesystem::last_write_time(entry.path()));
    }
  }
  // The replay of `keys` with the slots the player started with: what the screen must show.
  Surface Replay(const std::string& keys, std::string* record = nullptr) {
    test::StoryPlayer replay;
    std::error_code ec;  // a story file the replay may lack
    for (const char* file : {"DATA/Script.txt", "bands.bmp", "DATA/save.txt"}) {
      std::filesystem::copy(story_.Path(file), replay.story_.Path(file), ec);
    }
    replay.state_.reader.place.slotsFolder = replay.story_.Path("slots");
    CopySlots(story_.Path("slots-at-start"), replay.state_.reader.place.slotsFolder);
    replay.Start();
    EXPECT_TRUE(replay.Frames(keys));
    if (record) *record = test::SavedFields(replay.state_);
    return replay.state_.display.primarySurface;
  }
  // Pixels of `place` unlike the replay of `keys` scaled into it (or a neighbour); the rest black.
  int DiffersFromReplay(const std::string& keys, Rect place = {0, 0, 640, 480}, Rect window = {0, 0, 1 << 16, 1 << 16}) {
    const Image shown = Screen();
    const Surface expected = Replay(keys);
    const int w = place.right - place.left, h = place.bottom - place.top;
    const int r = w == 640 && h == 480 ? 0 : 1, side = 2 * r + 1;  // unscaled: exactly that pixel
    int differ = 0;
    for (int y = window.top; y < std::min(shown.height, window.bottom); ++y) {
      for (int x = window.left; x < std::min(shown.width, window.right); ++x) {
        const uint32_t pixel = shown.pixels[size_t(y) * size_t(shown.width) + size_t(x)];
        const bool inside = x >= place.left && y >= place.top && x < place.right && y < place.bottom;
        const int sx = (x - place.left) * 640 / w, sy = (y - place.top) * 480 / h;
        bool near = !inside && pixel == 0;  // outside the picture: black
        for (int d = 0; inside && !near && d < side * side; ++d) {
          near = expected.Row(std::clamp(sy + d / side - r, 0, 479))[std::clamp(sx + d % side - r, 0, 639)] == pixel;
        }
        differ += !near;
      }
    }
    return differ;
  }
  // The picture on the screen.
  Image Screen() {
    Image shown;
    std::string error;
    EXPECT_TRUE(x_->Screenshot(&shown, &error)) << error;
    return shown;
  }
  // Runs xdotool with `args`, then waits `thenMs`.
  void Xdo(const std::string& args, int thenMs = 150) { x_->Run("xdotool " + args), SleepMs(thenMs); }
  void Click(int x, int y, int button = 1) {
    Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " + std::to_string(button));
  }
  // Escape; the exit status, which must come within `ms`.
  int Quit(int ms = 1000) {
    x_->Press("Escape", 5);
    int status = -1;
    EXPECT_TRUE(player_.Wait(ms, &status)) << "still running " << ms << " ms after Escape";
    return status;
  }
  void WriteStory(const std::string& script) {
    Image bands{640, 480, {}};  // colour behind the text, as in the golden pictures
    for (int y = 0; y < 480; ++y) bands.pixels.insert(bands.pixels.end(), 640, 0x203050u + uint32_t(y / 80) * 0x202010u);
    story_.Write("bands.bmp", test::EncodeBmp(bands, 24));
    story_.WriteScript("@Gbands.bmp," + script);
  }

  std::unique_ptr<test::XSession> x_;
  test::TempStory story_;
  test::Child player_;
  std::string launchDir_ = "/";
};

// Presses faster than frames each act once: 16 pages, 16 pictures (a reader's key kept 8).
TEST_F(Player, TappedQuickAndHeldKeysActOnceEachAndTheScreenIsTheReplays) {
  WriteStory(Pages(30));
  std::filesystem::create_directory_symlink(".", story_.Path("提灯の川"));
  Launch({story_.Path("提灯の川")});
  for (int i = 0; i < 10; ++i) x_->Press("Return", 5, 120);  // taps of 5 ms, far shorter than a frame
  SleepMs(200);
  EXPECT_EQ(DiffersFromReplay(Presses(10)), 0) << "ten taps did not turn exactly ten pages";
  Xdo("key --delay 5" + test::Repeat(" Return", 16), 1500);
  EXPECT_EQ(DiffersFromReplay(Presses(26)), 0) << "sixteen quick Enters did not turn sixteen pages";
  Xdo("key --delay 5" + test::Repeat(" F12", 16), 1500);
  for (const char* key : {"Return", "space", "Down"}) x_->Press(key, 150, 100);  // held as a hand does
  SleepMs(200);
  EXPECT_EQ(DiffersFromReplay(Presses(26) + " E . S . D ."), 0);
  EXPECT_EQ(Quit(), 0) << Log();  // within a second
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(story_.Path("Pictures/kamishibai")), {}), 16) << Log();
}

// A run of 100 000 pictures before the first page: Escape ends it at once all the same.
TEST_F(Player, EscapeActsDuringALongRun) {
  story_.Write("a.bmp", test::EncodeBmp(test::SolidImage(640, 480, 0x336699), 24));
  story_.Write("b.bmp", test::EncodeBmp(test::SolidImage(640, 480, 0x996633), 24));
  story_.WriteScript(test::Repeat("@Ga.bmp,@Gb.bmp,", 50000) + "page@E");
  Launch();
  EXPECT_EQ(Quit(5000), 0) << Log();  // the run takes over a minute, even unsanitized
}

// Of the disk driver's 44.1 kHz stereo: the left's loudness at `hz` (0: all) per 50 ms.
std::vector<double> Loudness(const std::string& raw, double hz = 0) {
  const std::string bytes = test::ReadFile(raw);
  std::vector<double> loud;
  const double k = 2 * std::cos(2 * M_PI * hz / 44100);
  for (size_t start = 0; start + 2205 <= bytes.size() / 4; start += 2205) {
    double sum = 0, s1 = 0, s2 = 0;
    for (size_t f = start; f < start + 2205; ++f) {
      int16_t left = 0;
      std::memcpy(&left, &bytes[f * 4], 2);
      sum += double(left) * left;
      const double s0 = left + k * s1 - s2;
      s2 = s1, s1 = s0;
    }
    loud.push_back(hz == 0 ? std::sqrt(sum / 2205) : std::sqrt(s1 * s1 + s2 * s2 - k * s1 * s2) * 2 / 2205);
  }
  return loud;
}

// How many separate times the loudness rose over `level`.
int Onsets(const std::vector<double>& loud, double level) {
  int onsets = 0;
  for (size_t i = 0; i < loud.size(); ++i) onsets += loud[i] > level && (i == 0 || loud[i - 1] <= level);
  return onsets;
}

TEST_F(Player, MusicLoopsPastItsLengthAndStopsOnD) {
  story_.Write("tone.wav", test::WavBytes(200, 440));
  story_.WriteScript("@Mtone.wav,Music plays.@E@DNow it stops.@E");
  const std::string raw = story_.Path("out.raw");
  Launch({}, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", raw}});
  SleepMs(1500);
  x_->Press("Return", 150, 1000);  // "@D"
  EXPECT_EQ(Quit(), 0) << Log();

  const std::vector<double> loud = Loudness(raw);
  ASSERT_GT(loud.size(), 20u) << "less than a second of sound was written";
  // 200 ms of sound heard far longer: it looped; silent the last half second, after "@D".
  EXPECT_GE(std::count_if(loud.begin(), loud.end(), [](double l) { return l > 1000; }) * 50, 800);
  EXPECT_LT(*std::max_element(loud.end() - 10, loud.end()), 50);
}

// Ctrl held through a fade, a choice and the title: music only; effects (2, 3 kHz) once, after.
TEST_F(Player, SkippingPlaysNoEffectWhereverItsRunStarts) {
  story_.Write("tone.wav", test::WavBytes(200, 440));
  story_.Write("bell.wav", test::WavBytes(300, 2000));
  story_.Write("Page.wav", test::WavBytes(300, 3000));
  WriteStory("@Mtone.wav,@Rp1@E@F@P@Wbell.wav,@Rp2@E@Cx,1,@\n@S1\n@P@Wbell.wav,@Rp3@E@T@Rp4@E");
  const std::string raw = story_.Path("out.raw");
  Launch({"--skip-all", story_.root()}, {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", raw}});
  SleepMs(400);
  x_->Run("xdotool keydown Control_L");
  SleepMs(400);                   // through the fade to the choice list
  x_->Press("Return", 5, 300);    // the choice, Ctrl held: on to the title notice
  x_->Press("Return", 150, 400);  // the title's restart, Ctrl held: again to the choice list
  x_->Run("xdotool keyup Control_L");
  EXPECT_EQ(DiffersFromReplay(". E .*40 E ."), 0) << "not on the choice list after p2";
  x_->Press("Return", 5, 800);    // without Ctrl: heard
  EXPECT_EQ(Quit(), 0) << Log();
  EXPECT_EQ(Onsets(Loudness(raw, 2000), 1500), 1) << "the one-shot effect";
  EXPECT_EQ(Onsets(Loudness(raw, 3000), 1500), 1) << "the page sound";
  const std::vector<double> music = Loudness(raw, 440);
  EXPECT_GT(std::count_if(music.begin(), music.end(), [](double l) { return l > 1500; }), 20) << "the music";
}

// A story with a choice, played with the mouse alone.
const char kChoiceStory[] =
    "@R1st page@E@RChoose:@E@R@Cfirst way,1,second way,2,@\n@S1\n@Rwent the first way@E@S2\n@Rthe second way@E";

// window_width = 16384 took a gigabyte, window_x = 5000 was off the screen: both are fitted.
TEST_F(Player, TheMouseDoesWhatTheKeysDoAndF12KeepsThePictureInAWindowFittedToTheScreen) {
  WriteStory(kChoiceStory);
  story_.Write("config/kamishibai/settings.ini",
               "mode = window\nwindow_width = 16384\nwindow_height = 16384\nwindow_x = 5000\nwindow_y = 5000\n");
  Launch();  // the story's folder as an argument, from another folder
  EXPECT_EQ(DiffersFromReplay("."), 0) << "the picture is not wholly on the screen";
  Click(600, 450);
  EXPECT_EQ(DiffersFromReplay(". E ."), 0) << "a click turns the page";
  x_->Press("F12", 5, 1600);  // until its mark is gone
  Click(600, 450, 3);
  EXPECT_EQ(DiffersFromReplay(". E . S ."), 0) << "a right click opens the menu";
  Click(600, 450, 3);
  Click(600, 450);
  Click(300, 348);  // the second choice
  EXPECT_EQ(DiffersFromReplay(". E . S . D . D . E . E . D . E ."), 0) << "a click takes the choice under it";
  EXPECT_EQ(Quit(), 0) << Log();

  // The screenshot is the picture as it was, 640 x 480.
  std::vector<std::filesystem::path> shots;
  for (const auto& entry : std::filesystem::directory_iterator(story_.Path("Pictures/kamishibai"))) shots.push_back(entry);
  ASSERT_EQ(shots.size(), 1u) << Log();
  Image shot;
  std::string error;
  ASSERT_TRUE(test::ReadPng(shots[0].string(), &shot, &error)) << error;
  EXPECT_EQ(shot.pixels, Replay(". E .").pixels);
  EXPECT_NE(Log().find(shots[0].string()), std::string::npos) << Log();
}

// Twice the size and a resized window by one rule; the mode and volume survive a restart.
TEST_F(Player, TwiceTheSizeAResizedWindowAndTheModeAndVolumeKept) {
  WriteStory(kChoiceStory);
  StartX(1280, 960);
  Launch();
  Click(1200, 900);
  Click(1200, 900);
  Click(600, 696);  // the second choice, drawn twice the size
  EXPECT_EQ(DiffersFromReplay(". E . E . D . E .", {0, 0, 1280, 960}), 0);
  x_->Press("F11", 5);
  for (int i = 0; i < 3; ++i) x_->Press("minus", 5);
  SleepMs(600);  // each press acts in a frame of its own
  EXPECT_EQ(Quit(), 0) << Log();
  const std::string settings = story_.Read("config/kamishibai/settings.ini");
  EXPECT_NE(settings.find("mode = window"), std::string::npos) << settings;
  EXPECT_NE(settings.find("volume = 70"), std::string::npos) << settings;

  Launch();
  x_->Press("plus", 5, 200);
  const Image shown = Screen();
  int lit = 0;  // the volume mark's bars, in a 640 x 480 window in the middle
  for (int bar = 0; bar < 10; ++bar) lit += shown.pixels[size_t(240 + 17) * 1280 + size_t(320 + 67 + 14 * bar)] == 0x32FF32;
  EXPECT_EQ(lit, 8) << "70% and one step up";
  EXPECT_EQ(Quit(), 0) << Log();

  Launch({"--window", story_.root()});
  Xdo("search --class kamishibai windowmove 0 0 windowsize 1000 700", 400);
  // 1000 x 700 holds the picture 1.46 times: 933 x 700, centred.
  EXPECT_EQ(DiffersFromReplay(".", {33, 0, 966, 700}, {0, 0, 1000, 700}), 0);
  EXPECT_EQ(Quit(), 0) << Log();
}

TEST_F(Player, TheWheelTurnsTheBacklogAndCtrlSkipsWhatWasReadBefore) {
  const std::string tenPresses = Presses(10);
  WriteStory(Pages(40));
  Launch();
  for (int i = 0; i < 10; ++i) x_->Press("Return", 5, 80);
  Xdo("click 4");  // wheel up: the page before
  EXPECT_EQ(DiffersFromReplay(tenPresses + " B ."), 0);
  Xdo("click 5 click 5");  // down twice: past the newest, closed
  EXPECT_EQ(DiffersFromReplay(tenPresses), 0);
  EXPECT_EQ(Quit(), 0) << Log();

  Launch();  // pages 1 to 11 were read
  Xdo("keydown Control_L sleep 1 keyup Control_L");
  EXPECT_EQ(DiffersFromReplay(tenPresses + " E ."), 0) << "Ctrl did not stop at page 12";
  EXPECT_EQ(Quit(), 0) << Log();
}

// After a quick save or an Escape on a page, F9 after a new start shows that page again.
TEST_F(Player, F9AfterARestartGoesOnFromAQuickSaveOrWhereEscapeLeft) {
  WriteStory(Pages(12));
  Launch();
  for (int i = 0; i < 3; ++i) x_->Press("Return", 5, 80);
  SleepMs(150);
  const std::vector<uint32_t> fourth = Screen().pixels;
  x_->Press("F5", 5, 150);
  EXPECT_EQ(Quit(), 0) << Log();
  Launch();
  EXPECT_EQ(DiffersFromReplay("."), 0) << "the first page, with the mark that F9 goes on";
  x_->Press("F9", 150, 100);
  x_->Press("Return", 150, 150);  // the loaded notice
  EXPECT_EQ(Screen().pixels, fourth) << "F9 after F5 and Escape";
  for (int i = 0; i < 4; ++i) x_->Press("Return", 150, 120);
  const std::vector<uint32_t> eighth = Screen().pixels;
  EXPECT_EQ(Quit(), 0) << Log();
  Launch();
  x_->Press("F9", 5, 100);
  x_->Press("Return", 5, 150);
  EXPECT_EQ(Screen().pixels, eighth) << "F9 after Escape on a page";
  EXPECT_EQ(Quit(), 0) << Log();
}

// Back through the backlog to a choice list, its other row leads the other way.
TEST_F(Player, BackThroughTheBacklogToAChoiceTheOtherRowLeadsTheOtherWay) {
  WriteStory(kChoiceStory);
  Launch();
  for (int hold : {5, 150, 5}) x_->Press("Return", hold, 100);  // the first way
  x_->Press("Prior", 5, 100);  // PageUp: the backlog, at the page of the choice
  x_->Press("Return", 150, 100);
  x_->Press("Down", 5, 100);
  x_->Press("Return", 5, 200);
  EXPECT_EQ(DiffersFromReplay(". E . E . E . B . E . D . E ."), 0);
  EXPECT_EQ(DiffersFromReplay(". E . E . D . E ."), 0) << "not the second way's page";
  EXPECT_EQ(Quit(), 0) << Log();
}

// HUP, TERM and INT keep in the Auto slot the very record the menu's save would write.
TEST_F(Player, SignalsKeepThePlaceAsEscapeDoes) {
  WriteStory(Pages(8));
  const int signals[] = {SIGTERM, SIGHUP, SIGINT};
  for (int i = 0; i < 3; ++i) {
    Launch();
    for (int page = 0; page <= i; ++page) x_->Press("Return", i == 1 ? 150 : 5, 100);
    SleepMs(100);
    player_.Signal(signals[i]);
    int status = -1;
    ASSERT_TRUE(player_.Wait(2000, &status)) << "signal " << signals[i];
    EXPECT_EQ(status, 0) << Log();
    std::string record;
    Replay(Presses(i + 1), &record);
    EXPECT_EQ(test::ReadFile(Slots() + "/auto.sav"), record) << "signal " << signals[i];
  }
}

// A player killed while it saves, twenty times, never leaves a damaged slot or picture.
TEST_F(Player, SlotsOfAKilledPlayerAlwaysLoad) {
  WriteStory(Pages(300));
  for (int attempt = 0; attempt < 20; ++attempt) {
    Launch();
    x_->Run("xdotool key --delay 5" + test::Repeat(" Return F5", 8));
    SleepMs(attempt * 37 % 500);
    player_.Kill();
  }
  test::StoryPlayer reader;
  std::filesystem::copy(story_.Path("DATA/Script.txt"), reader.story_.Path("DATA/Script.txt"));
  reader.Start();
  int slots = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Slots())) {
    const std::string path = entry.path().string();
    std::string error;
    if (entry.path().extension() == ".sav") {
      EXPECT_TRUE(LoadGameFrom(reader.state_, path, &error)) << error;
      ++slots;
    } else if (entry.path().extension() == ".png") {
      Image picture;
      EXPECT_TRUE(test::ReadPng(path, &picture, &error)) << error;
      EXPECT_EQ(picture.width * 4, 640) << path;
    }
  }
  EXPECT_EQ(slots, 1) << "the quick slot, and only it";
}

// A player killed while it skips, writing its read marks all the time, never damages them.
TEST_F(Player, ReadMarksOfAKilledPlayerAreNeverDamaged) {
  const std::string script = Pages(3000);
  WriteStory(script);
  bool marked = false;
  for (int attempt = 0; attempt < 20; ++attempt) {
    Launch({"--skip-all", story_.root()}, {{"KAMISHIBAI_READ_MARKS_MS", "0"}});
    x_->Run("xdotool keydown Control_L");
    SleepMs(100 + attempt * 23 % 400);
    player_.Kill();
    x_->Run("xdotool keyup Control_L");
    EngineState state;
    state.script.scriptSize = uint32_t(script.size() + 12);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(story_.Path("data"))) {
      if (entry.path().filename() != "read") continue;
      state.reader.readMarksFile = entry.path();
      std::string problem;
      LoadReadMarks(state, &problem);
      EXPECT_EQ(problem, "") << "attempt " << attempt;
      marked = marked || !state.reader.readRuns.empty();
    }
  }
  EXPECT_TRUE(marked) << "no read marks were ever written";
}

// What it cannot keep it says in a line; with no HOME, files went into the working folder.
TEST_F(Player, WhatThePlayerCannotKeepItSaysInALine) {
  WriteStory(kChoiceStory);
  std::filesystem::create_directory(story_.Path("here"));
  launchDir_ = story_.Path("here");
  Launch({}, {{"HOME", ""}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", ""}, {"XDG_CACHE_HOME", ""}});
  x_->Press("F12", 5);
  x_->Press("Return", 5, 300);
  EXPECT_EQ(Quit(), 0) << Log();
  EXPECT_TRUE(std::filesystem::is_empty(story_.Path("here")));
  EXPECT_FALSE(std::filesystem::exists(story_.Path("config")));
  EXPECT_NE(Log().find("kamishibai: there is no home folder (HOME is not set)"), std::string::npos) << Log();

  // A save the disk refuses shows on the screen.
  launchDir_ = "/";
  story_.Write("DATA/save.txt", "old");
  std::filesystem::permissions(story_.Path("DATA/save.txt"), std::filesystem::perms(0444));
  Launch();
  x_->Press("space", 5, 150);
  x_->Press("Return", 150, 200);
  EXPECT_EQ(DiffersFromReplay(". S . E ."), 0);
  EXPECT_EQ(Quit(), 0) << Log();
  EXPECT_NE(Log().find("read-only"), std::string::npos) << Log();

  // settings.ini a link to a FIFO: said once, and no settings are kept.
  std::filesystem::remove_all(story_.Path("config"));
  std::filesystem::create_directories(story_.Path("config/kamishibai"));
  ASSERT_EQ(mkfifo(story_.Path("fifo").c_str(), 0644), 0);
  std::filesystem::create_symlink(story_.Path("fifo"), story_.Path("config/kamishibai/settings.ini"));
  Launch();
  for (int i = 0; i < 3; ++i) x_->Press("minus", 5);
  SleepMs(1300);  // until the volume's mark is gone
  x_->Press("Return", 5, 300);
  EXPECT_EQ(DiffersFromReplay(". E ."), 0);
  EXPECT_EQ(Quit(), 0) << Log();
  EXPECT_EQ(Log(), "kamishibai: settings file " + story_.Path("config/kamishibai/settings.ini") +
                       " is not a regular file: the settings are neither read nor kept\n");
}

// Speech (a script appending to a file) and clipboard get each page once as UTF-8; no voice: one line.
TEST_F(Player, SpeechAndTheClipboardGetEachPageOnceInOrder) {
  std::string script, expected;
  for (int page = 2; page <= 10; ++page) script += "@Rページ" + std::to_string(page) + "。@E";
  ASSERT_TRUE(Utf8ToCp932("@R提灯の川@N二行目@E" + script + "@R@C右へ,1,左へ,2,@\n@S1\n@R右@E@S2\n@R左@E", &script));
  WriteStory(script);
  story_.Write("say.sh", "{ cat; echo '|'; } >> '" + story_.Path("said.txt") + "'\n");
  story_.Write("config/kamishibai/settings.ini", "speech_command = sh " + story_.Path("say.sh") + "\n");
  Launch();
  x_->Press("v", 5);
  x_->Run("xdotool key shift+c");
  SleepMs(300);
  const std::string clip = story_.Path("clip.txt");
  EXPECT_EQ(x_->Run("timeout 5 xclip -o -selection clipboard > " + clip), 0);
  for (int i = 0; i < 10; ++i) x_->Press("Return", i % 2 ? 5 : 150, 300);
  EXPECT_EQ(Quit(), 0) << Log();
  EXPECT_EQ(story_.Read("clip.txt"), "提灯の川\n二行目");
  for (int page = 2; page <= 10; ++page) expected += "ページ" + std::to_string(page) + "。|\n";
  EXPECT_EQ(story_.Read("said.txt"), "提灯の川\n二行目|\n" + expected + "1. 右へ\n2. 左へ\n|\n");

  story_.Write("config/kamishibai/settings.ini", "speech = true\n");
  Launch({}, {{"SPEECHD_ADDRESS", "unix_socket:" + story_.Path("no-speech")}});
  x_->Press("v", 5, 200);
  EXPECT_EQ(Quit(), 0) << Log();
  const std::string log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_EQ(log.rfind("kamishibai: no speech: ", 0), 0u) << log;
}

// The two backdrops and the hidden text are the replay's; the key showing the text does no more.
TEST_F(Player, TheBackdropAndTheHiddenTextAreTheReplays) {
  WriteStory(kChoiceStory);
  Launch();
  for (const std::string keys : {". G .", ". G . G ."}) {
    x_->Press("b", 5, 150);
    EXPECT_EQ(DiffersFromReplay(keys), 0) << keys;
    EXPECT_NE(Replay(keys).pixels, Replay(".").pixels) << keys;
  }
  Click(300, 300, 2);  // the middle button
  EXPECT_EQ(DiffersFromReplay(". H ."), 0);
  const Surface hidden = Replay(". H .");
  int ink = 0;  // anything but the picture's bands
  for (int y = 0; y < 480; ++y) ink += int(std::count_if(hidden.Row(y), hidden.Row(y) + 640, [y](uint32_t pixel) {
                                     return pixel != 0x203050u + uint32_t(y / 80) * 0x202010u;
                                   }));
  EXPECT_EQ(ink, 0) << "text left over the picture";
  x_->Press("Return");
  EXPECT_EQ(DiffersFromReplay(". G . G ."), 0) << "the key that showed the text did more";
  EXPECT_EQ(Quit(), 0) << Log();
  EXPECT_NE(story_.Read("config/kamishibai/settings.ini").find("text_backdrop = outline"), std::string::npos);
}

// A virtual gamepad plugged in mid-story, tapped and held: A pages, B opens the menu, or swapped.
TEST_F(Player, AGamepadConfirmsAndCancelsAndTheSettingSwapsItsButtons) {
  WriteStory(Pages(5));
  setenv("DISPLAY", x_->display().c_str(), 1);
  setenv("SDL_VIDEO_X11_WMCLASS", "kamishibai", 1);
  for (const bool swap : {false, true}) {
    EngineState state;
    state.storyRoot = story_.root();
    state.reader.settings.fullScreen = false;
    state.reader.settings.gamepadSwapAB = swap;
    SdlPlatform platform;
    std::string error;
    ASSERT_TRUE(platform.Open(&state.reader.settings, &error)) << error;
    ASSERT_TRUE(StartUp(state, platform, &error)) << error;
    const uint32_t wakeEvent = SDL_RegisterEvents(1);  // of its own: the platform has its events
    auto run = [&](int ms) {
      for (const long long end = test::NowMs() + ms; test::NowMs() < end || ms == 0; ms = 1) {
        SDL_Event wake{};
        wake.type = wakeEvent;  // no wait for input outlasts the press
        SDL_PushEvent(&wake);
        ASSERT_TRUE(MainLoopStep(state, platform));
      }
    };
    run(100);  // the window shows
    ASSERT_TRUE(x_->WaitForWindow("Kamishibai", 5000));
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 0, SDL_CONTROLLER_BUTTON_MAX, 0);
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    run(100);  // the player takes the gamepad plugged in
    auto press = [&](SDL_GameControllerButton button, int ms) {
      SDL_JoystickSetVirtualButton(pad, button, 1);
      run(ms);
      SDL_JoystickSetVirtualButton(pad, button, 0);
      run(150);
    };
    const auto confirm = swap ? SDL_CONTROLLER_BUTTON_B : SDL_CONTROLLER_BUTTON_A;
    press(confirm, 5);
    press(confirm, 150);
    EXPECT_EQ(test::PageString(state), "p3") << "swapped: " << swap;
    press(swap ? SDL_CONTROLLER_BUTTON_A : SDL_CONTROLLER_BUTTON_B, 150);
    EXPECT_TRUE(InMenu(state.screen)) << "swapped: " << swap;
    SDL_JoystickClose(pad);
    SDL_JoystickDetachVirtual(index);
    ShutDown(state);
    platform.Close();
  }
}

}  // namespace
}  // namespace ks

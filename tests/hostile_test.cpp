// Hostile stories: each test the smallest input that crashed, stalled or lost a save.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "engine/main_loop.h"
#include "core/report.h"
#include "platform/desktop/background_writer.h"
#include "platform/sdl/mixer_audio.h"
#include "platform/sdl/quiet_stderr.h"
#include "platform/sdl/sdl_platform.h"
#include "core/story_path.h"
#include "present/background.h"
#include "reader/aids.h"
#include "reader/settings.h"
#include "save/save_file.h"
#include "script/interpreter.h"
#include "sound/sound_check.h"
#include "support.h"

namespace ks {
namespace {

namespace fs = std::filesystem;
using test::Hex;
using test::TempStory;
using Bytes = std::string;

// The real SDL_mixer on SDL's file-writing driver, writing nowhere.
MixerAudio& RealMixer() {
  static MixerAudio* mixer = [] {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    auto* audio = new MixerAudio;
    audio->OpenDevice(0x8000);
    return audio;
  }();
  return *mixer;
}

Bytes Put(Bytes bytes, size_t at, uint32_t value, int size, bool bigEndian = false) {
  for (int i = 0; i < size; ++i) bytes[at + i] = char(value >> (8 * (bigEndian ? size - 1 - i : i)));
  return bytes;
}

bool Check(const Bytes& bytes, std::string* why) {
  return CheckSoundBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), why);
}

// Whether the real mixer opens `bytes` as `name` on `channel` (then plays and closes it).
bool MixerOpens(const TempStory& story, const std::string& name, const Bytes& bytes, AudioChannel channel,
                std::string* said = nullptr) {
  story.Write(name, bytes);
  DeviceId device = kNoDevice;
  const std::string err = test::Stderr([&] {
    device = RealMixer().Open(channel, story.Path(name));
    RealMixer().Play(device, false);
    RealMixer().Settle();
    RealMixer().Close(device);
  });
  if (said) *said += err;
  return device != kNoDevice;
}

// A 48-byte WAV of 0 channels: SDL_mixer's music reader divided by it (SIGFPE, no message).
TEST(Hostile, WavOfNoChannelsLeavesItsChannelSilentWithOneLine) {
  TempStory story;
  story.Write("m.wav", Hex("524946462800000057415645666d7420100000000100000044ac0000"
                           "0000000000001000646174610400000000000000"));
  std::deque<PlaybackNotice> notices;
  const uint32_t now = 0;
  SimulatedAudio simulated(now, notices);
  for (AudioDevice* audio : {static_cast<AudioDevice*>(&RealMixer()), static_cast<AudioDevice*>(&simulated)}) {
    auto state = test::LoadedEngine(story, "@Mm.wav,page@E@Mm.wav,again@E");
    state->sound.audio = audio;
    EXPECT_EQ(test::Stderr([&] { RunScript(*state); }),
              "kamishibai: cannot play " + story.Path("m.wav") + ": a WAV with 0 channels (1 to 8 are played)\n");
    EXPECT_EQ(state->sound.bgmChannel.playing, 1u);  // as for a missing file
    EXPECT_EQ(state->sound.bgmChannel.device, kNoDevice);
    EXPECT_EQ(test::Stderr([&] { RunScript(*state); }), "");  // said once
    EXPECT_EQ(test::PageString(*state), "pageagain");
  }
}

// Each header field that crashed, stalled or flooded SDL_mixer 2.6 is refused; the base file not.
TEST(Hostile, EverySoundHeaderFieldThatBreaksSdlIsRefused) {
  const Bytes wav = test::WavBytes(10);
  const Bytes smpl = Bytes("smpl") + Put(Bytes(4, 0), 0, 60, 4) + Bytes(28, 0) + Put(Bytes(4, 0), 0, 1, 4) +
                     Bytes(4, 0) + Bytes(24, 0);
  const Bytes wavSmpl = wav.substr(0, 36) + smpl + wav.substr(36);
  const Bytes aiff = Hex("464f524d0000003641494646434f4d4d000000120001000000040010400eac44000000000000"
                         "53534e440000001000000000000000000000000000000000");
  const Bytes flac = Hex("664c614380000022100010000000000000000ac440f000000000") + Bytes(16, 0) + Hex("fff8c9080095");
  const Bytes mp3 = Hex("494433030000000000105449543200000006000000616263646566fffb9000") + Bytes(413, 0);
  const Bytes voc = Bytes("Creative Voice File\x1a\x1a\x00\x14\x01\x1f\x11", 26) +
                    Hex("0910000044ac000010010400000000000000000000");
  const Bytes ogg = Hex("4f67675300020000000000000000000000000000000000000000011e01766f72626973000000000144ac0000"
                        "000000000000000000000000b801");
  struct Case { const char* fault; const char* ext; Bytes base, bad; const char* why; } cases[] = {
      {"SIGFPE", "wav", wav, Put(wav, 22, 0, 2), "0 channels"},
      {"SIGFPE: cast to 8 bits", "wav", wav, Put(wav, 22, 256, 2), "256 channels"},
      {"770 MB, effects stall", "wav", wav, Put(wav, 24, 1, 4), "sample rate of 1 Hz"},
      {"SIGSEGV", "wav", wavSmpl, Put(wavSmpl, 36 + 8 + 28, 65536, 4), "says 65536 loops"},
      {"2 GB for effects", "wav", wav, Put(wav, 40, 0x7FFFFFFF, 4), "\"data\" chunk says 2147483647"},
      {"2 GB for music", "wav", wav, wav + Hex("4c495354ffffff7f494e464f"), "\"LIST\" chunk"},
      {"impossible", "wav", wav, Put(wav, 32, 0, 2), "block align of 0"},
      {"impossible", "wav", wav, Put(wav, 34, 0, 2), "0 bits per sample"},
      {"SIGFPE", "aiff", aiff, Put(aiff, 20, 0, 2, true), "0 channels"},
      {"stall", "aiff", aiff, Put(aiff, 28, 0, 2, true), "sample rate of 0 Hz"},
      {"4 GB for effects", "aiff", aiff, Put(aiff, 22, 0x7FFFFFFF, 4, true), "2147483647 frames"},
      {"SIGSEGV", "flac", flac, Put(flac, 20, 0x42, 1), "frame at byte 42 holds 1 channels"},
      {"SIGSEGV, stall", "mp3", mp3, Put(mp3, 17, 0x7F, 1), "frame running past it"},
      {"stall", "voc", voc, Put(voc, 30, 1, 4), "sample rate of 1 Hz"},
      {"asks for 2^64 bytes", "ogg", ogg, Put(ogg, 40, 0xFFFFFFFF, 4), "sample rate of"},
  };
  TempStory story;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ext) + ", " + c.why + " (" + c.fault + ")");
    std::string why;
    EXPECT_TRUE(Check(c.base, &why)) << why;
    EXPECT_FALSE(Check(c.bad, &why));
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    for (AudioChannel channel : {AudioChannel::kMusic, AudioChannel::kOneShotEffect}) {
      EXPECT_FALSE(MixerOpens(story, std::string("s.") + c.ext, c.bad, channel));
    }
  }
}

// The CRC (initial 0, MSB first) of FLAC's frames (8, 16 bits) and Ogg's pages (32).
uint32_t Crc(const Bytes& bytes, int bits, uint32_t polynomial) {
  uint32_t c = 0;
  for (unsigned char x : bytes) {
    c ^= uint32_t(x) << (bits - 8);
    for (int i = 0; i < 8; ++i) c = c >> (bits - 1) & 1 ? c << 1 ^ polynomial : c << 1;
  }
  return bits == 32 ? c : c & ((1u << bits) - 1);
}

// A stereo FLAC of frames of 16 verbatim samples, each with the channels given.
Bytes Flac(std::initializer_list<int> frames, const Bytes& samples = Bytes(32, '\x11')) {
  Bytes out = Hex("664c614380000022001000100000000000000ac442f000000000") + Bytes(16, 0);
  int number = 0;
  for (int channels : frames) {
    Bytes frame = Hex("fff869") + char((channels - 1) << 4 | 8) + char(number++) + char(15);
    frame += char(Crc(frame, 8, 0x07));
    for (int c = 0; c < channels; ++c) frame += char(0x02) + samples;  // a verbatim subframe
    out += Put(frame + "??", frame.size(), Crc(frame, 16, 0x8005), 2, /*bigEndian=*/true);
  }
  return out;
}

// A stereo FLAC whose frames turn mono crashed SDL_mixer; a mono header in samples is no frame.
TEST(Hostile, FlacFramesAreHeldToTheStreamWherePlayed) {
  Bytes fake = Hex("fff86908000f00");
  fake[6] = char(Crc(fake.substr(0, 6), 8, 0x07));
  const Bytes id3 = Hex("49443303000000000014") + Bytes(20, 0);
  struct Case { const char* name; Bytes bytes; bool plays; } cases[] = {
      {"stereo throughout", Flac({2, 2, 2, 2}), true},
      {"a mono header among the samples", Flac({2, 2}, fake + Bytes(25, 0)), true},
      {"mono after three stereo frames", Flac({2, 2, 2, 1}), false},
      {"mono from the first frame", Flac({1}), false},
      {"behind a stray byte", Bytes(1, 0) + Flac({1, 1}), false},
      {"behind an ID3v2 tag", id3 + Flac({1, 1}), false},
  };
  TempStory story;
  int n = 0;
  for (const Case& c : cases) {
    for (const char* ext : {".flac", ".mp3"}) {
      SCOPED_TRACE(std::string(c.name) + " " + ext);
      std::string err;
      for (AudioChannel channel : {AudioChannel::kMusic, AudioChannel::kOneShotEffect}) {
        EXPECT_EQ(MixerOpens(story, std::to_string(n++) + ext, c.bytes, channel, &err), c.plays);
      }
      EXPECT_EQ(err.find("channels, 44100 Hz, 16 bits and whose frame at byte") != std::string::npos, !c.plays) << err;
    }
  }
}

// Ogg: a page with its CRC made right.
Bytes OggPage(Bytes page) {
  page.replace(22, 4, 4, '\0');
  return Put(page, 22, Crc(page, 32, 0x04C11DB7u), 4);
}

// A 1 Hz Vorbis stream chained or behind another codec's page took gigabytes as an effect.
TEST(Hostile, EveryOggStreamIsHeldToTheLimits) {
  TempStory story;
  story.Write("a.wav", test::WavBytes(200, 440));
  const std::string encode = "oggenc -Q -o " + story.Path("a.ogg") + " " + story.Path("a.wav");
  ASSERT_EQ(std::system(encode.c_str()), 0) << "oggenc (vorbis-tools) is needed";
  const Bytes ogg = story.Read("a.ogg");
  const size_t packet = 27 + size_t(uint8_t(ogg[26]));  // the identification header
  const Bytes slow = OggPage(Put(ogg.substr(0, packet + 30), packet + 12, 1, 4)) + ogg.substr(packet + 30);
  const Bytes other = OggPage(Bytes("OggS\0\2", 6) + Bytes(8, 0) + Bytes("\7\0\0\0", 4) + Bytes(8, 0) + "\1\7" +
                              "\x80theora");
  struct Case { const char* name; Bytes bytes; bool plays; } cases[] = {
      {"two chained streams", ogg + ogg, true},
      {"1 Hz in the second chained stream", ogg + slow, false},
      {"1 Hz behind another codec's first page", other + slow, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    EXPECT_EQ(Check(c.bytes, &why), c.plays);
    if (!c.plays) EXPECT_NE(why.find("a sample rate of 1 Hz"), std::string::npos) << why;
    EXPECT_EQ(MixerOpens(story, "s.ogg", c.bytes, AudioChannel::kOneShotEffect), c.plays);
  }
}

// A MIDI note of 2^28 ticks and an Ogg padded to 64 MB held the main loop: both open off it.
TEST(Hostile, LongEffectsAndSlowMusicAreOpenedOffTheLoop) {
  TempStory story;
  story.Write("long.mid", Hex("4d546864000000060000000100604d54726b0000000f00903c64ffffff7f803c0000ff2f00"));
  RealMixer().SetEffectLimit(2);
  testing::internal::CaptureStderr();
  DeviceId device = RealMixer().Open(AudioChannel::kOneShotEffect, story.Path("long.mid"));
  EXPECT_TRUE(RealMixer().Opening(device));  // Open did not wait for the decode
  RealMixer().Play(device, false);
  EXPECT_TRUE(RealMixer().IsPlaying(device));  // as far as the story can tell
  RealMixer().Settle();
  EXPECT_FALSE(RealMixer().Opening(device));
  EXPECT_TRUE(RealMixer().IsPlaying(device));  // the first two seconds
  RealMixer().Close(device);
  RealMixer().SetEffectLimit(600);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.substr(0, err.find('\n') + 1),
            "kamishibai: the effect " + story.Path("long.mid") + " is too long: only its first 2 seconds play\n");

  story.Write("a.wav", test::WavBytes(200, 440));
  const std::string encode = "oggenc -Q -o " + story.Path("pad.ogg") + " " + story.Path("a.wav");
  ASSERT_EQ(std::system(encode.c_str()), 0) << "oggenc (vorbis-tools) is needed";
  fs::resize_file(story.Path("pad.ogg"), 64 << 20);
  testing::internal::CaptureStderr();
  device = RealMixer().Open(AudioChannel::kMusic, story.Path("pad.ogg"));
  RealMixer().Play(device, true);
  EXPECT_TRUE(RealMixer().Opening(device));
  EXPECT_TRUE(RealMixer().IsPlaying(device));
  RealMixer().Close(device);  // the story moved on: the open gives up
  RealMixer().Settle();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Unplayable sounds were silent, a damaged MIDI said a line a complaint: each says why, once.
TEST(Hostile, SoundsThatCannotPlaySayWhyOnceAndTheSynthesizerIsQuiet) {
  TempStory story;
  const Bytes voc = Bytes("Creative Voice File\x1a\x1a\x00\x14\x01\x1f\x11", 26) + Hex("010600000000801010100000");
  const Bytes damagedMidi = Hex("4d546864000000060000000100604d54726b000003e8") + Bytes(8, '\x80');
  struct Case { const char* name; AudioChannel channel; Bytes bytes; bool plays; const char* says; } cases[] = {
      {"v.voc", AudioChannel::kMusic, voc, false, "cannot play "},
      {"w.ogg", AudioChannel::kMusic, test::WavBytes(50), false, "cannot play "},
      {"d.mid", AudioChannel::kOneShotEffect, damagedMidi, true, "the sound libraries said "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    story.Write(c.name, c.bytes);
    const std::string err = test::Stderr([&] {
      for (int i = 0; i < 2; ++i) {
        const DeviceId device = RealMixer().Open(c.channel, story.Path(c.name));
        RealMixer().Play(device, true);
        RealMixer().Settle();
        if (!c.plays) EXPECT_FALSE(RealMixer().IsPlaying(device));
        RealMixer().Close(device);
      }
    });
    EXPECT_EQ(err.rfind(std::string("kamishibai: ") + c.says, 0), 0u) << err;
    EXPECT_NE(err.find(story.Path(c.name)), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

// Eight case variants linked to "." made a lookup of seven levels try 8^7 paths.
TEST(Hostile, CaseVariantsLeadingBackIntoTheirFolderAreLookedUpWithinABound) {
  TempStory story;
  for (const char* name : {"abc", "ABC", "aBc", "abC", "Abc", "ABc", "AbC", "aBC"}) {
    fs::create_directory_symlink(".", story.Path(name));
  }
  const char* name = "abc/abc/abc/abc/abc/abc/abc/z";
  StoryFile file = FindStoryFile(story.root(), name);
  EXPECT_FALSE(file.found);
  EXPECT_LE(file.directoryReads, kMaxDirectoryReads);
  story.Write("Z", "x");  // a match through the same folders is still found
  file = FindStoryFile(story.root(), name);
  EXPECT_TRUE(file.found);
  EXPECT_EQ(fs::path(file.path).filename(), "Z");
}

// 10 000 "@G" of one picture decoded it each time: an unchanged file is decoded once.
TEST(Hostile, APictureFromTheSameUnchangedFileIsDecodedOnce) {
  TempStory story;
  auto write = [&](uint32_t rgb) { story.Write("p.bmp", test::EncodeBmp(test::SolidImage(2, 2, rgb), 24)); };
  write(0xFF0000);
  auto state = test::LoadedEngine(story, "@Gp.bmp,@Gp.bmp,page@E");
  RunScript(*state);
  EXPECT_EQ(state->display.backgroundSurface.Row(0)[0] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(state->display.backgroundGeneration, 2u);  // every load still counts

  struct stat before {};
  stat(story.Path("p.bmp").c_str(), &before);
  write(0x0000FF);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  utimensat(AT_FDCWD, story.Path("p.bmp").c_str(), times, 0);
  ASSERT_TRUE(LoadBackground(*state, state->display.backgroundSurface, "p.bmp"));
  EXPECT_EQ(state->display.backgroundSurface.Row(0)[0] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(state->display.backgroundGeneration, 3u);

  utimensat(AT_FDCWD, story.Path("p.bmp").c_str(), nullptr, 0);  // now: a changed file
  ASSERT_TRUE(LoadBackground(*state, state->display.backgroundSurface, "p.bmp"));
  EXPECT_EQ(state->display.backgroundSurface.Row(0)[0] & 0xFFFFFF, 0x0000FFu);
}

// A write killed before its rename left save.txt.XXXXXX for ever: start-up removes only those.
TEST(Hostile, StartUpRemovesOnlyTemporariesOlderThanItself) {
  test::StoryPlayer started;
  const TempStory& story = started.story_;
  setenv("XDG_DATA_HOME", story.Path("data").c_str(), 1);
  auto state = test::LoadedEngine(story, "page@E");
  const std::string settings = story.Path("config/settings.ini");
  const auto now = fs::file_time_type::clock::now();
  const std::string files[] = {story.Path("DATA/save.txt"), settings, ReadMarksFile(state->script)};
  for (const std::string& file : files) {
    // Another player's, midway (written after this start), and names that only look alike.
    for (const char* name : {".Ab12Cd", ".Xy98Zw", ".bak", ".Ab12C", "x.Ab12Cd"}) {
      story.Write(file.substr(story.root().size() + 1) + name, "x");
      fs::last_write_time(file + name, now + std::chrono::hours(name[1] == 'X' ? 1 : -1));
    }
  }
  Settings read;
  std::string problems;
  EXPECT_TRUE(LoadSettings(settings, &read, &problems));
  started.state_.reader.keepReadMarks = true;
  started.Start();
  ShutDown(started.state_);
  for (const std::string& file : files) {
    EXPECT_FALSE(fs::exists(file + ".Ab12Cd")) << file;
    for (const char* kept : {".Xy98Zw", ".bak", ".Ab12C", "x.Ab12Cd"}) EXPECT_TRUE(fs::exists(file + kept)) << file << kept;
  }
}

// A read-only save.txt was replaced; a linked save.txt became a plain file.
TEST(Hostile, ReadOnlyAndLinkedSavesAreRespected) {
  TempStory story;
  auto state = test::LoadedEngine(story, "page@E");
  RunScript(*state);
  std::string error;

  story.Write("DATA/save.txt", "old");
  fs::permissions(story.Path("DATA/save.txt"), fs::perms(0444));
  EXPECT_FALSE(SaveGame(*state, &error));
  EXPECT_NE(error.find("save.txt: the file is read-only"), std::string::npos) << error;
  EXPECT_EQ(story.Read("DATA/save.txt").size(), 3u);
  EXPECT_EQ(fs::status(story.Path("DATA/save.txt")).permissions(), fs::perms(0444));

  fs::remove(story.Path("DATA/save.txt"));
  story.Write("keep/slot.txt", "old");
  fs::permissions(story.Path("keep/slot.txt"), fs::perms(0640));
  fs::create_symlink("../keep/slot.txt", story.Path("DATA/save.txt"));
  ASSERT_TRUE(SaveGame(*state, &error)) << error;
  EXPECT_TRUE(fs::is_symlink(story.Path("DATA/save.txt")));
  EXPECT_EQ(story.Read("keep/slot.txt").size(), kSaveFileBytes);
  EXPECT_EQ(fs::status(story.Path("keep/slot.txt")).permissions(), fs::perms(0640));
  // No temporary left: DATA holds the script and the link, keep the save.
  EXPECT_EQ(std::distance(fs::directory_iterator(story.Path("DATA")), fs::directory_iterator()), 2);
  EXPECT_EQ(std::distance(fs::directory_iterator(story.Path("keep")), fs::directory_iterator()), 1);
}

// settings.ini linked to a device node or FIFO made root replace the node with a file.
TEST(Hostile, ADeviceOrFifoInPlaceOfSettingsMarksOrSlotIsLeftAlone) {
  struct Target { const char* kind; mode_t mode; fs::file_type type; } targets[] = {
      {"FIFO", S_IFIFO | 0644, fs::file_type::fifo}, {"character device", S_IFCHR | 0644, fs::file_type::character}};
  for (const Target& target : targets) {
    TempStory story;
    if (mknod(story.Path("target").c_str(), target.mode, makedev(1, 3)) != 0) {
      EXPECT_NE(geteuid(), 0u) << "root could not make a " << target.kind;
      continue;  // a device node needs root
    }
    auto state = test::LoadedEngine(story, "page@E");
    RunScript(*state);
    Settings changed;
    changed.volume = 40;
    struct Writer { const char* name; std::string place; std::function<bool(std::string*)> write; } writers[] = {
        {"settings", story.Path("settings.ini"),
         [&](std::string* e) { return SaveSettings(story.Path("settings.ini"), Settings{}, changed, e); }},
        {"read marks", story.Path("read"),
         [&](std::string* e) { return WriteReadMarks(story.Path("read"), {{0, 6}}, 6, e); }},
        {"save slot", story.Path("DATA/save.txt"), [&](std::string* e) { return SaveGame(*state, e); }},
    };
    for (const Writer& writer : writers) {
      SCOPED_TRACE(std::string(writer.name) + " linked to a " + target.kind);
      fs::create_symlink(story.Path("target"), writer.place);
      std::string error;
      EXPECT_FALSE(writer.write(&error));
      EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
      EXPECT_TRUE(fs::is_symlink(writer.place));
      EXPECT_EQ(fs::symlink_status(story.Path("target")).type(), target.type);
    }
    Settings read;
    std::string problems;
    EXPECT_FALSE(LoadSettings(story.Path("settings.ini"), &read, &problems));
    EXPECT_EQ(problems, "settings file " + story.Path("settings.ini") +
                            " is not a regular file: the settings are neither read nor kept");
    EXPECT_EQ(read, Settings{});
  }
}

// Two players on one story: the last to quit wrote over the other's marks and settings.
TEST(Hostile, TwoPlayersOnOneStoryKeepEachOthersMarksAndSettings) {
  TempStory story;
  const std::string marks = story.Path("data/read");
  std::string error;
  ASSERT_TRUE(WriteReadMarks(marks, {{0, 4}, {4, 9}}, 20, &error)) << error;  // the first player
  ASSERT_TRUE(WriteReadMarks(marks, {{9, 12}}, 20, &error)) << error;         // the second, quitting later
  EngineState state;
  state.script.scriptSize = 20;
  state.reader.readMarksFile = marks;
  std::string problem;
  LoadReadMarks(state, &problem);
  EXPECT_EQ(problem, "");
  EXPECT_EQ(state.reader.readRuns, (std::set<std::pair<uint32_t, uint32_t>>{{0, 4}, {4, 9}, {9, 12}}));

  const std::string path = story.Path("config/settings.ini");
  ASSERT_TRUE(SaveSettings(path, Settings{}, Settings{}, &error)) << error;  // the file, as both players read it
  Settings first, second;
  first.volume = 40;
  second.autoDelayMs = 3000;
  ASSERT_TRUE(SaveSettings(path, Settings{}, first, &error)) << error;
  ASSERT_TRUE(SaveSettings(path, Settings{}, second, &error)) << error;
  Settings both;
  EXPECT_TRUE(LoadSettings(path, &both, &problem));
  EXPECT_EQ(std::pair(both.volume, both.autoDelayMs), std::pair(40, 3000));
}

// An unknown line was cut to 192 bytes, every line after a NUL byte lost.
TEST(Hostile, UnknownSettingsLinesAreKeptByteForByte) {
  TempStory story;
  const std::string path = story.Path("settings.ini");
  const std::string nul(1, '\0');
  const std::string before = "# mine\nfuture = " + std::string(500, 'x') + "\nodd = a" + nul +
                             "b\nvolume = 40\nmuted = true" + nul + "junk\n[plugins]\nsparkle = " + std::string(300, 'y');
  story.Write("settings.ini", before);
  Settings settings;
  std::string problems;
  EXPECT_TRUE(LoadSettings(path, &settings, &problems));
  EXPECT_EQ(problems, "settings file " + path + ": ignored a bad muted");  // "true" and more
  EXPECT_EQ(settings.volume, 40);
  const Settings read = settings;
  settings.volume = 50;
  settings.autoCharMs = 60;  // a key the file lacks goes before its first section
  std::string error;
  ASSERT_TRUE(SaveSettings(path, read, settings, &error)) << error;
  std::string expected = before;
  expected.replace(expected.find("volume = 40"), 11, "volume = 50");
  expected.insert(expected.find("[plugins]"), "auto_char_ms = 60\n");
  EXPECT_EQ(story.Read("settings.ini"), expected);
  // An indented line is a line of its own, never more of the value above
  // (the settings fuzz target's find: a key written above " 7 " became 7).
  story.Write("settings.ini", "volume = 40\n 7 \n");
  EXPECT_TRUE(LoadSettings(path, &settings, &problems));
  EXPECT_EQ(settings.volume, 40);
}

// A line was lost while SDL's start-up had stderr on /dev/null.
TEST(Hostile, TheReadersLinesReachStderrWhileSdlStartUpIsSilenced) {
  EXPECT_EQ(test::Stderr([] {
              SdlPlatform::PrepareProcess();  // the player's copy of stderr
              const QuietStderr quiet;        // as around SDL_Init, on the main thread
              std::thread([] { Report("the read marks in x are damaged; starting with no page read"); }).join();
              std::fclose(std::exchange(ReportStream(), nullptr));
            }),
            "kamishibai: the read marks in x are damaged; starting with no page read\n");
}

// Slow writes held the main loop; a burst during one is one more write, the newest.
TEST(Hostile, WritesWaitOnTheirOwnThreadAndABurstIsOneWrite) {
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  std::vector<int> done;  // touched by the writer's thread only until Finish
  std::promise<void> started;
  BackgroundWriter writer;
  writer.Put(0, [&] {
    started.set_value();
    std::unique_lock lock(mutex);
    released.wait(lock, [&] { return release; });
    done.push_back(1);
  });
  started.get_future().wait();
  // The first write is held, as by a slow disk; these return all the same.
  for (int i = 2; i <= 5; ++i) writer.Put(0, [&done, i] { done.push_back(i); });
  writer.Put(1, [&done] { done.push_back(100); });  // another file keeps its place
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  released.notify_all();
  writer.Finish();
  EXPECT_EQ(done, (std::vector<int>{1, 5, 100}));
}

}  // namespace
}  // namespace ks

// Looking at a sound file before any decoder sees it. SDL and SDL_mixer trust
// the header of a WAV: a channel count of 0 divides by zero, a sample rate
// of a few hertz asks for gigabytes, a sampler chunk that claims more loops
// than it holds is read past its end. Such a file is refused here with a
// reason, and its channel stays silent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace ks {

// The sample rates a sound may have; outside them the decoders' conversion
// to the device's rate asks for absurd amounts of memory or time.
inline constexpr uint32_t kMinSoundRate = 1000;
inline constexpr uint32_t kMaxSoundRate = 768000;
inline constexpr int kMaxSoundChannels = 8;

// Whether the sound file `data` (the whole file, `size` bytes) may be handed
// to the decoders. A RIFF WAVE or AIFF file is checked field by field (the
// format, every chunk's size against the file, the sampler loops); Ogg, FLAC
// and MP3 files by their first header; anything else (MIDI, tracker modules)
// is left to the decoders. Returns false with a short reason naming the
// field ("a WAV with 0 channels") when the file is refused.
bool CheckSoundBytes(const uint8_t* data, size_t size, std::string* why);

// The same for the file at `path`, mapped rather than read so that a long
// piece of music costs only the pages its headers are on. A file that cannot
// be opened is refused with the system's reason.
bool CheckSoundFile(const std::string& path, std::string* why);

// What a sound file holds, told by its first bytes (past an ID3 tag), or by
// its name's ending; kUnknown when neither tells.
enum class SoundFormat { kUnknown, kWav, kAiff, kVoc, kOgg, kFlac, kMp3, kMidi, kModule };
SoundFormat FormatOfContent(const uint8_t* data, size_t size);
SoundFormat FormatOfName(const std::string& name);
const char* FormatName(SoundFormat format);

// Why a sound that passes CheckSoundBytes will still not be heard where the
// story plays it (`music`: "@M"; else an effect), or "" when it will: a VOC
// file as music, music whose name says another format than its content (the
// music decoder is chosen by the name), MIDI with no soundfont or synthesizer
// set up on this machine (`synthesizer`).
std::string SoundPlayProblem(const uint8_t* data, size_t size, const std::string& name, bool music,
                             bool synthesizer);

// SoundPlayProblem for the file at `path`, named `name` by the story.
std::string SoundFilePlayProblem(const std::string& path, const std::string& name, bool music);

// Whether MIDI can be heard here: a soundfont (SDL_SOUNDFONTS, or one of the
// usual places) or a TiMidity configuration.
bool MidiSynthesizerSetUp();

// What an audio device asks before it opens `path`: CheckSoundFile, with a
// refused file reported on stderr ("cannot play PATH: why") the first time
// `reported` meets it.
bool SoundFileMayOpen(const std::string& path, std::set<std::string>* reported);

}  // namespace ks

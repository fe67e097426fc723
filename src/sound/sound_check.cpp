// A WAV is a list of chunks after a 12-byte RIFF header. The walk visits
// every one (SDL_mixer's music reader goes on past the data chunk) and holds
// each chunk a decoder reads whole (format, data, sampler, LIST, id3) to the
// end of the file: SDL allocates what the size says before it reads. An
// unknown chunk that runs past the end ends the walk, as the decoders skip
// it with a seek (a WAV with an ID3v1 tag glued to its end still plays).
// The format is held to what one frame of sound can be: the decoders divide
// by the channel count (cast to 8 bits first) and convert to the device's
// rate in one allocation, so a rate of a few hertz asks for gigabytes.
#include "sound/sound_check.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/report.h"

namespace ks {
namespace {

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }
uint32_t Be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }

bool Refuse(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return false;
}

bool Is(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, std::strlen(tag)) == 0; }

std::string N(uint64_t v) { return std::to_string(v); }

// A chunk's four-letter name as it may go into a message line.
std::string Tag(const uint8_t* id) {
  std::string tag = "\"";
  for (int i = 0; i < 4; ++i) tag += id[i] >= 0x20 && id[i] < 0x7F ? char(id[i]) : '?';
  return tag + "\"";
}

// What every format shares: a channel count and a rate the device can be fed.
bool CheckFrame(const char* kind, uint64_t channels, double rate, std::string* why) {
  if (channels == 0 || channels > kMaxSoundChannels) {
    return Refuse(why, std::string(kind) + " with " + N(channels) + " channels (1 to 8 are played)");
  }
  if (!(rate >= kMinSoundRate && rate <= kMaxSoundRate)) {
    const std::string shown =
        rate >= 0 && rate < 1e12 ? "a sample rate of " + N(uint64_t(rate)) + " Hz" : "an impossible sample rate";
    return Refuse(why, std::string(kind) + " with " + shown + " (1000 to 768000 Hz are played)");
  }
  return true;
}

// The 16 bytes every WAV format chunk starts with, and the extensible
// form's real format code.
bool CheckWavFormat(const uint8_t* fmt, uint32_t size, std::string* why) {
  if (size < 16) return Refuse(why, "a WAV format chunk of " + N(size) + " bytes (16 at least)");
  uint32_t code = Le16(fmt);
  if (code == 0xFFFE) {
    if (size < 40) return Refuse(why, "a WAV extensible format chunk of " + N(size) + " bytes (40 at least)");
    code = Le16(fmt + 24);
  }
  const uint32_t channels = Le16(fmt + 2), rate = Le32(fmt + 4), byteRate = Le32(fmt + 8);
  const uint32_t blockAlign = Le16(fmt + 12), bits = Le16(fmt + 14);
  if (!CheckFrame("a WAV", channels, rate, why)) return false;
  if (byteRate == 0) return Refuse(why, "a WAV with a byte rate of 0");
  if (blockAlign == 0) return Refuse(why, "a WAV with a block align of 0");
  if (bits == 0 || bits > 64) return Refuse(why, "a WAV with " + N(bits) + " bits per sample");
  const bool plain = code == 1 || code == 3 || code == 6 || code == 7;  // PCM, float, A-law, mu-law
  if (plain && bits % 8 != 0) return Refuse(why, "a WAV with " + N(bits) + " bits per sample");
  if (plain && blockAlign < channels * (bits / 8)) {
    return Refuse(why, "a WAV with a block align of " + N(blockAlign) + ", less than one frame of " +
                           N(channels * (bits / 8)) + " bytes");
  }
  return true;
}

// `wave`: the RIFF form is WAVE, so a format and a data chunk must be there.
// Another form (a MIDI file in RIFF) is only held to the chunks it has, as
// SDL_mixer's WAV reader walks any RIFF file named ".wav".
bool CheckWav(const uint8_t* data, size_t size, bool wave, std::string* why) {
  bool haveFormat = false, haveData = false;
  for (uint64_t at = 12; size - at >= 8;) {
    const uint8_t* id = data + at;
    const uint32_t length = Le32(data + at + 4);
    const uint8_t* body = data + at + 8;
    const uint64_t room = size - at - 8;
    const bool readWhole = Is(id, "fmt ") || Is(id, "data") || Is(id, "smpl") || Is(id, "LIST") || Is(id, "id3 ");
    if (length > room) {
      if (!readWhole) break;
      return Refuse(why,
                    "a WAV whose " + Tag(id) + " chunk says " + N(length) + " bytes where the file holds " + N(room));
    }
    if (Is(id, "fmt ")) {
      if (!CheckWavFormat(body, length, why)) return false;
      haveFormat = true;
    } else if (Is(id, "data")) {
      haveData = true;
    } else if (Is(id, "smpl")) {
      // 36 bytes, then 24 for each loop it says it holds.
      if (length < 36) return Refuse(why, "a WAV sampler chunk of " + N(length) + " bytes (36 at least)");
      if (Le32(body + 28) > (length - 36) / 24) {
        return Refuse(why, "a WAV sampler chunk that says " + N(Le32(body + 28)) + " loops and holds " +
                               N((length - 36) / 24));
      }
    }
    at += 8 + uint64_t(length) + (length & 1);
    if (at > size) break;
  }
  if (wave && !haveFormat) return Refuse(why, "a WAV without a format chunk");
  if (wave && !haveData) return Refuse(why, "a WAV without a data chunk");
  return true;
}

// AIFF: big-endian chunks, the rate an 80-bit float.
bool CheckAiff(const uint8_t* data, size_t size, std::string* why) {
  bool haveCommon = false;
  uint64_t soundBytes = 0, frameBytes = 0, frames = 0;
  for (uint64_t at = 12; size - at >= 8;) {
    const uint8_t* id = data + at;
    const uint32_t length = Be32(data + at + 4);
    const uint8_t* body = data + at + 8;
    if (length > size - at - 8) {
      return Refuse(why, "an AIFF whose " + Tag(id) + " chunk says " + N(length) + " bytes where the file holds " +
                             N(size - at - 8));
    }
    if (Is(id, "COMM")) {
      if (length < 18) return Refuse(why, "an AIFF common chunk of " + N(length) + " bytes (18 at least)");
      const uint32_t exponent = Be16(body + 8);
      const uint64_t mantissa = uint64_t(Be32(body + 10)) << 32 | Be32(body + 14);
      const double rate = (exponent & 0x8000) ? -1 : std::ldexp(double(mantissa), int(exponent) - 16383 - 63);
      if (!CheckFrame("an AIFF", Be16(body), rate, why)) return false;
      const uint32_t bits = Be16(body + 6);
      if (bits == 0 || bits > 32) return Refuse(why, "an AIFF with " + N(bits) + " bits per sample");
      haveCommon = true;
      frames = Be32(body + 2);
      frameBytes = uint64_t(Be16(body)) * ((bits + 7) / 8);
    } else if (Is(id, "SSND")) {
      soundBytes = length >= 8 ? length - 8 : 0;
    }
    at += 8 + uint64_t(length) + (length & 1);
    if (at > size) break;
  }
  if (!haveCommon) return Refuse(why, "an AIFF without a common chunk");
  // SDL_mixer allocates what the common chunk names before it reads.
  if (frames * frameBytes > soundBytes) {
    return Refuse(why, "an AIFF that says " + N(frames) + " frames where its sound data holds " +
                           N(soundBytes / frameBytes));
  }
  return true;
}

// The first page of an Ogg stream and the identification header it carries.
bool CheckOgg(const uint8_t* data, size_t size, std::string* why) {
  if (size < 27 || data[4] != 0) return Refuse(why, "an Ogg file with a damaged first page");
  const size_t segments = data[26];
  if (size < 27 + segments) return Refuse(why, "an Ogg file cut inside its first page");
  const uint8_t* packet = data + 27 + segments;
  const size_t room = size - 27 - segments;
  if (room >= 30 && Is(packet, "\x01vorbis")) {
    const uint32_t small = packet[28] & 15, large = packet[28] >> 4;
    if (small < 6 || large > 13 || small > large) return Refuse(why, "an Ogg Vorbis file with impossible block sizes");
    return CheckFrame("an Ogg Vorbis file", packet[11], Le32(packet + 12), why);
  }
  if (room >= 19 && Is(packet, "OpusHead")) {
    // Opus always decodes at 48 kHz; the rate in the header is informative.
    return CheckFrame("an Ogg Opus file", packet[9], 48000, why);
  }
  return true;  // another codec in Ogg: the decoders refuse it themselves
}

// fLaC, then the stream information block, which must come first.
bool CheckFlac(const uint8_t* data, size_t size, std::string* why) {
  if (size < 42 || (data[4] & 0x7F) != 0) return Refuse(why, "a FLAC file without its stream information");
  const uint8_t* info = data + 8;
  const uint32_t minBlock = Be16(info), maxBlock = Be16(info + 2);
  if (minBlock < 16 || maxBlock < minBlock) return Refuse(why, "a FLAC file with impossible block sizes");
  const uint32_t rate = uint32_t(info[10]) << 12 | uint32_t(info[11]) << 4 | info[12] >> 4;
  const uint32_t bits = ((info[12] & 1) << 4 | info[13] >> 4) + 1;
  if (bits < 4) return Refuse(why, "a FLAC file with " + N(bits) + " bits per sample");
  const uint32_t channels = ((info[12] >> 1) & 7) + 1;
  if (!CheckFrame("a FLAC file", channels, rate, why)) return false;
  // SDL_mixer copies as many channels from each frame as the stream
  // information names: a first frame with fewer is read past its end.
  uint64_t at = 4;
  for (bool last = false; !last && size - at >= 4;) {
    last = data[at] & 0x80;
    at += 4 + (uint64_t(data[at + 1]) << 16 | Be16(data + at + 2));
    if (at > size) return Refuse(why, "a FLAC file cut inside its metadata");
  }
  if (size - at >= 4 && data[at] == 0xFF && (data[at + 1] & 0xFE) == 0xF8) {
    const uint32_t assignment = data[at + 3] >> 4;
    if (assignment > 10) return Refuse(why, "a FLAC file whose first frame has a reserved channel layout");
    const uint32_t frameChannels = assignment < 8 ? assignment + 1 : 2;
    if (frameChannels < channels) {
      return Refuse(why, "a FLAC file whose header says " + N(channels) + " channels and whose first frame holds " +
                             N(frameChannels));
    }
  }
  return true;
}

uint32_t SyncSafe(const uint8_t* p) { return uint32_t(p[0]) << 21 | uint32_t(p[1]) << 14 | uint32_t(p[2]) << 7 | p[3]; }

// An ID3v2 tag: a 10-byte header, maybe an extended header, then frames up
// to the padding. SDL_mixer reads the frames' texts by the sizes they give,
// so a frame that runs past the tag is read past the end of its buffer.
bool CheckId3(const uint8_t* data, size_t size, std::string* why) {
  const uint32_t version = data[3];
  if (size < 10 || version < 2 || version > 4 || data[4] == 0xFF || ((data[6] | data[7] | data[8] | data[9]) & 0x80)) {
    return Refuse(why, "an MP3 file with a damaged ID3 tag header");
  }
  const uint64_t end = 10 + uint64_t(SyncSafe(data + 6));
  if (end > size) return Refuse(why, "an MP3 file whose ID3 tag runs past the end of the file");
  uint64_t at = 10;
  if ((data[5] & 0x40) && version > 2) {  // an extended header
    if (end - at < 4) return Refuse(why, "an MP3 file with a damaged ID3 extended header");
    at += version == 3 ? 4 + uint64_t(Be32(data + at)) : uint64_t(SyncSafe(data + at));
  }
  const uint64_t header = version == 2 ? 6 : 10;
  while (at < end && end - at >= header && data[at] != 0) {
    const uint64_t length = version == 2 ? (uint64_t(data[at + 3]) << 16 | Be16(data + at + 4))
                            : version == 3 ? Be32(data + at + 4) : SyncSafe(data + at + 4);
    if (length > end - at - header) return Refuse(why, "an MP3 file whose ID3 tag holds a frame running past it");
    at += header + length;
  }
  if (at > end) return Refuse(why, "an MP3 file with a damaged ID3 extended header");
  return true;
}

// An MP3 starts with an ID3v2 tag or with a frame header.
bool CheckMp3(const uint8_t* data, size_t size, std::string* why) {
  if (Is(data, "ID3")) return CheckId3(data, size, why);
  const uint32_t version = (data[1] >> 3) & 3, layer = (data[1] >> 1) & 3;
  const uint32_t bitrate = data[2] >> 4, rate = (data[2] >> 2) & 3;
  if (version == 1 || layer == 0 || bitrate == 15 || rate == 3) {
    return Refuse(why, "an MP3 file whose first frame header is impossible");
  }
  return true;
}

// A Creative Voice file (SDL_mixer reads it for effects): blocks after the
// header; a type 9 block gives the rate and channels of the sound after it.
bool CheckVoc(const uint8_t* data, size_t size, std::string* why) {
  if (size < 26) return Refuse(why, "a Creative Voice file cut inside its header");
  for (uint64_t at = Le16(data + 20); at < size && data[at] != 0 && size - at >= 4;) {
    const uint64_t blockLength = Le32(data + at) >> 8;  // 24 bits after the type
    if (data[at] == 9 && blockLength >= 12 && size - at - 4 >= 12) {
      if (!CheckFrame("a Creative Voice file", data[at + 4 + 5], Le32(data + at + 4), why)) return false;
    }
    at += 4 + blockLength;
  }
  return true;
}

}  // namespace

bool CheckSoundBytes(const uint8_t* data, size_t size, std::string* why) {
  if (size < 4) return true;  // nothing a decoder could take for a header
  // SDL_mixer's WAV reader takes any file that starts "RIFF" or "WAVE".
  if (Is(data, "RIFF") || Is(data, "WAVE")) {
    if (size < 12) return Refuse(why, "a WAV cut inside its RIFF header");
    return CheckWav(data, size, Is(data, "RIFF") && Is(data + 8, "WAVE"), why);
  }
  if (Is(data, "FORM") && size >= 12 && (Is(data + 8, "AIFF") || Is(data + 8, "AIFC"))) {
    return CheckAiff(data, size, why);
  }
  if (size >= 20 && Is(data, "Creative Voice File\x1a")) return CheckVoc(data, size, why);
  if (Is(data, "OggS")) return CheckOgg(data, size, why);
  if (Is(data, "fLaC")) return CheckFlac(data, size, why);
  if (Is(data, "ID3") || (data[0] == 0xFF && (data[1] & 0xE0) == 0xE0)) return CheckMp3(data, size, why);
  return true;
}

bool CheckSoundFile(const std::string& path, std::string* why) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Refuse(why, std::strerror(errno));
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Refuse(why, "not a regular file");
  }
  const size_t size = size_t(info.st_size);
  if (size == 0) {
    close(fd);
    return CheckSoundBytes(nullptr, 0, why);
  }
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) return Refuse(why, std::strerror(errno));
  const bool ok = CheckSoundBytes(static_cast<const uint8_t*>(mapped), size, why);
  munmap(mapped, size);
  return ok;
}

bool SoundFileMayOpen(const std::string& path, std::set<std::string>* reported) {
  std::string why;
  if (CheckSoundFile(path, &why)) return true;
  if (reported->insert(path).second) Report("cannot play " + path + ": " + why);
  return false;
}

}  // namespace ks

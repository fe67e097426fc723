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

#include <memory>


#include <cerrno>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/machine.h"
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

// The CRCs the containers guard their headers with, most significant bit
// first: FLAC's 8-bit (x^8+x^2+x+1) and 16-bit (x^16+x^15+x^2+1), Ogg's 32-bit.
template <typename T, T kPoly>
struct CrcTable {
  T entry[256];
  constexpr CrcTable() : entry() {
    constexpr int kTop = sizeof(T) * 8 - 8;
    for (int i = 0; i < 256; ++i) {
      T crc = T(T(i) << kTop);
      for (int bit = 0; bit < 8; ++bit) crc = T((crc >> (kTop + 7)) & 1 ? T(crc << 1) ^ kPoly : T(crc << 1));
      entry[i] = crc;
    }
  }
};
constexpr CrcTable<uint8_t, 0x07> kCrc8;
constexpr CrcTable<uint16_t, 0x8005> kCrc16;
constexpr CrcTable<uint32_t, 0x04C11DB7> kCrc32;

// Where `tag` first occurs in data[from, size), or `size`.
size_t Find(const uint8_t* data, size_t size, size_t from, const char* tag) {
  if (from >= size) return size;
  const void* hit = memmem(data + from, size - from, tag, std::strlen(tag));
  return hit ? size_t(static_cast<const uint8_t*>(hit) - data) : size;
}

// What a FLAC frame header says, where its own fields give it.
struct FlacFrame {
  uint32_t channels = 0;
  uint32_t rate = 0;  // 0: as the stream information says
  uint32_t bits = 0;  // 0: as the stream information says
};

// Reads the frame header at `p` (`room` bytes on) as the decoder does: the
// sync code, no reserved value, the coded frame number well formed, and its
// CRC-8 right. Returns false for anything else, which the decoder skips.
bool ReadFlacFrame(const uint8_t* p, size_t room, FlacFrame* frame) {
  if (room < 6 || p[0] != 0xFF || (p[1] & 0xFE) != 0xF8) return false;
  const uint32_t blockCode = p[2] >> 4, rateCode = p[2] & 15, assignment = p[3] >> 4, bitsCode = (p[3] >> 1) & 7;
  if (blockCode == 0 || rateCode == 15 || assignment > 10 || bitsCode == 3 || (p[3] & 1)) return false;
  // The frame number: a lead byte whose high ones count its bytes, then
  // continuation bytes (7 in all only with variable block sizes).
  int ones = 0;
  for (uint8_t lead = p[4]; (lead & 0x80) && ones < 8; lead = uint8_t(lead << 1)) ++ones;
  if (ones == 1 || ones == 8 || (ones == 7 && p[1] == 0xF8)) return false;
  size_t length = 4 + size_t(ones == 0 ? 1 : ones);
  if (room < length + 1) return false;
  for (size_t i = 5; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return false;
  }
  const size_t extra = length;
  length += blockCode == 6 ? 1 : blockCode == 7 ? 2 : 0;
  length += rateCode == 12 ? 1 : rateCode == 13 || rateCode == 14 ? 2 : 0;
  if (room < length + 1) return false;
  uint8_t crc = 0;
  for (size_t i = 0; i < length; ++i) crc = kCrc8.entry[crc ^ p[i]];
  if (crc != p[length]) return false;
  static constexpr uint32_t kRates[12] = {0, 88200, 176400, 192000, 8000, 16000, 22050, 24000, 32000, 44100, 48000, 96000};
  static constexpr uint32_t kBits[8] = {0, 8, 12, 0, 16, 20, 24, 32};
  const uint8_t* r = p + extra + (blockCode == 6 ? 1 : blockCode == 7 ? 2 : 0);
  frame->channels = assignment < 8 ? assignment + 1 : 2;
  frame->rate = rateCode < 12 ? kRates[rateCode] : rateCode == 12 ? r[0] * 1000u : rateCode == 13 ? Be16(r) : Be16(r) * 10u;
  frame->bits = kBits[bitsCode];
  return true;
}

// FLAC: the decoder skips an ID3v2 tag and stray bytes to "fLaC", reads the
// stream information, and SDL_mixer then copies as many channels from each
// frame as that names: a frame with fewer is read past its end. So every
// frame header the decoder can meet is held to the stream information.
//
// The decoder meets a frame header where the last frame ended, and anywhere
// once it has lost its way. A header-shaped run of bytes inside a frame
// (1 in some 10^8 bytes of sound) is not one: a frame is known to end where
// the CRC-16 of its bytes comes to 0 at the next header. So a header that
// differs counts only when no confirmed frame holds it, that is when it
// starts a frame or falls within reach of a frame that never ends right.
bool CheckFlac(const uint8_t* data, size_t size, std::string* why) {
  size_t start = 0;
  for (;; ++start) {  // "fLaC" and a stream information block of 34 bytes
    start = Find(data, size, start, "fLaC");
    if (start == size) return true;  // no FLAC stream
    if (size - start >= 8 && (data[start + 4] & 0x7F) == 0 && data[start + 5] == 0 && Be16(data + start + 6) == 34) {
      break;
    }
  }
  if (size - start < 42) return Refuse(why, "a FLAC file without its stream information");
  const uint8_t* info = data + start + 8;
  const uint32_t minBlock = Be16(info), maxBlock = Be16(info + 2);
  if (minBlock < 16 || maxBlock < minBlock) return Refuse(why, "a FLAC file with impossible block sizes");
  const uint32_t rate = uint32_t(info[10]) << 12 | uint32_t(info[11]) << 4 | info[12] >> 4;
  const uint32_t bits = ((info[12] & 1) << 4 | info[13] >> 4) + 1;
  if (bits < 4) return Refuse(why, "a FLAC file with " + N(bits) + " bits per sample");
  const uint32_t channels = ((info[12] >> 1) & 7) + 1;
  if (!CheckFrame("a FLAC file", channels, rate, why)) return false;
  uint64_t at = start + 4;
  for (bool last = false; !last && size - at >= 4;) {
    last = data[at] & 0x80;
    at += 4 + (uint64_t(data[at + 1]) << 16 | Be16(data + at + 2));
    if (at > size) return Refuse(why, "a FLAC file cut inside its metadata");
  }
  auto differs = [&](const FlacFrame& f) {
    return f.channels != channels || (f.rate && f.rate != rate) || (f.bits && f.bits != bits);
  };
  auto refuse = [&](size_t where, const FlacFrame& f) {
    return Refuse(why, "a FLAC file whose header says " + N(channels) + " channels, " + N(rate) + " Hz, " + N(bits) +
                           " bits and whose frame at byte " + N(where) + " holds " + N(f.channels) + " channels, " +
                           N(f.rate ? f.rate : rate) + " Hz, " + N(f.bits ? f.bits : bits) + " bits");
  };
  // The most bytes one frame can take: every sample stored whole.
  const uint64_t reach = uint64_t(maxBlock) * channels * 4 + 1024;
  FlacFrame frame;
  auto next = [&](size_t from) {
    for (size_t i = from; i < size; ++i) {
      if (data[i] == 0xFF && ReadFlacFrame(data + i, size - i, &frame)) return i;
    }
    return size;
  };
  for (size_t head = next(size_t(at)); head < size;) {
    if (differs(frame)) return refuse(head, frame);
    uint16_t crc = 0;
    size_t firstOdd = size, end = size;
    FlacFrame odd, found;
    bool confirmed = false;
    for (size_t i = head; i < size && i - head <= reach; ++i) {
      if (i > head && data[i] == 0xFF && ReadFlacFrame(data + i, size - i, &found)) {
        if (crc == 0) {
          confirmed = true;
          end = i;
          frame = found;
          break;
        }
        if (differs(found) && firstOdd == size) firstOdd = i, odd = found;
      }
      crc = uint16_t(crc << 8) ^ kCrc16.entry[(crc >> 8) ^ data[i]];
    }
    if (!confirmed && crc == 0 && size - head <= reach) return true;  // the last frame ends the file
    if (confirmed) {
      head = end;
      continue;
    }
    if (firstOdd != size) return refuse(firstOdd, odd);
    head = next(size_t(std::min<uint64_t>(size, head + reach + 1)));
  }
  return true;
}

// Every Ogg page with a right CRC that begins a logical stream, wherever it
// is: a second chained stream, or a stream behind another codec's, is opened
// by the decoder as the first one is, so each identification header is held
// to the same limits.
bool CheckOggStreams(const uint8_t* data, size_t size, std::string* why) {
  for (size_t at = Find(data, size, 0, "OggS"); at < size; at = Find(data, size, at + 1, "OggS")) {
    if (size - at < 27 || data[at + 4] != 0) continue;
    const size_t segments = data[at + 26];
    if (size - at < 27 + segments) continue;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += data[at + 27 + i];
    const size_t length = 27 + segments + body;
    if (size - at < length) continue;
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
      const uint8_t byte = i >= 22 && i < 26 ? 0 : data[at + i];
      crc = (crc << 8) ^ kCrc32.entry[(crc >> 24) ^ byte];
    }
    if (crc != Le32(data + at + 22)) continue;
    if (data[at + 5] & 2) {  // the first page of a logical stream
      const uint8_t* packet = data + at + 27 + segments;
      if (body >= 30 && Is(packet, "\x01vorbis")) {
        const uint32_t small = packet[28] & 15, large = packet[28] >> 4;
        if (small < 6 || large > 13 || small > large) {
          return Refuse(why, "an Ogg Vorbis file with impossible block sizes in its stream at byte " + N(at));
        }
        if (!CheckFrame("an Ogg Vorbis file", packet[11], Le32(packet + 12), why)) return false;
      } else if (body >= 19 && Is(packet, "OpusHead")) {
        if (!CheckFrame("an Ogg Opus file", packet[9], 48000, why)) return false;
      }
    }
    at += length - 1;
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
  if (Is(data, "OggS") && !CheckOgg(data, size, why)) return false;
  if ((Is(data, "ID3") || (data[0] == 0xFF && (data[1] & 0xE0) == 0xE0)) && !CheckMp3(data, size, why)) return false;
  // The FLAC and Ogg decoders find their streams behind a tag or stray bytes.
  return CheckFlac(data, size, why) && CheckOggStreams(data, size, why);
}

namespace {

// Calls `use` with the bytes of the file at `path`, as the machine maps
// them. False with a reason when it cannot.
template <typename Use>
bool WithMappedFile(const std::string& path, std::string* why, Use use) {
  std::shared_ptr<const void> keep;
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  if (!TheMachine().MapFile(path, &keep, &bytes, &size, why)) return false;
  return use(bytes, size);
}

}  // namespace

bool CheckSoundFile(const std::string& path, std::string* why) {
  return WithMappedFile(path, why, [&](const uint8_t* data, size_t size) { return CheckSoundBytes(data, size, why); });
}

std::string SoundFilePlayProblem(const std::string& path, const std::string& name, bool music) {
  std::string problem, why;
  WithMappedFile(path, &why, [&](const uint8_t* data, size_t size) {
    // Where a soundfont might be is looked for only when the file is MIDI.
    const bool midi = FormatOfContent(data, size) == SoundFormat::kMidi || FormatOfName(name) == SoundFormat::kMidi;
    problem = SoundPlayProblem(data, size, name, music, !midi || MidiSynthesizerSetUp());
    return true;
  });
  return problem;
}

SoundFormat FormatOfContent(const uint8_t* data, size_t size) {
  auto at = [&](size_t offset, const char* magic) {
    const size_t n = std::strlen(magic);
    return size >= offset + n && std::memcmp(data + offset, magic, n) == 0;
  };
  if (at(0, "RIFF") && at(8, "WAVE")) return SoundFormat::kWav;
  if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC"))) return SoundFormat::kAiff;
  if (at(0, "Creative Voice File")) return SoundFormat::kVoc;
  if (at(0, "OggS")) return SoundFormat::kOgg;
  if (at(0, "MThd")) return SoundFormat::kMidi;
  if (at(0, "Extended Module:") || at(0, "IMPM") || at(44, "SCRM") || at(1080, "M.K.")) return SoundFormat::kModule;
  size_t start = 0;
  if (at(0, "ID3") && size >= 10) {  // a tag before FLAC or MP3: its size in 7-bit bytes
    start = 10 + (size_t(data[6] & 0x7F) << 21 | size_t(data[7] & 0x7F) << 14 | size_t(data[8] & 0x7F) << 7 |
                  size_t(data[9] & 0x7F));
  }
  if (at(start, "fLaC")) return SoundFormat::kFlac;
  if (start > 0 || (size >= 2 && data[0] == 0xFF && (data[1] & 0xE0) == 0xE0)) return SoundFormat::kMp3;
  return SoundFormat::kUnknown;
}

SoundFormat FormatOfName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find_first_of("/\\", dot) != std::string::npos) return SoundFormat::kUnknown;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  static const std::pair<const char*, SoundFormat> kEndings[] = {
      {"wav", SoundFormat::kWav},  {"aif", SoundFormat::kAiff}, {"aiff", SoundFormat::kAiff},
      {"voc", SoundFormat::kVoc},  {"ogg", SoundFormat::kOgg},  {"opus", SoundFormat::kOgg},
      {"flac", SoundFormat::kFlac}, {"mp3", SoundFormat::kMp3}, {"mid", SoundFormat::kMidi},
      {"midi", SoundFormat::kMidi}, {"mod", SoundFormat::kModule}, {"xm", SoundFormat::kModule},
      {"it", SoundFormat::kModule}, {"s3m", SoundFormat::kModule}};
  for (const auto& [ending, format] : kEndings) {
    if (ext == ending) return format;
  }
  return SoundFormat::kUnknown;
}

const char* FormatName(SoundFormat format) {
  switch (format) {
    case SoundFormat::kWav: return "WAV";
    case SoundFormat::kAiff: return "AIFF";
    case SoundFormat::kVoc: return "VOC";
    case SoundFormat::kOgg: return "Ogg";
    case SoundFormat::kFlac: return "FLAC";
    case SoundFormat::kMp3: return "MP3";
    case SoundFormat::kMidi: return "MIDI";
    case SoundFormat::kModule: return "tracker module";
    case SoundFormat::kUnknown: break;
  }
  return "unknown";
}

std::string SoundPlayProblem(const uint8_t* data, size_t size, const std::string& name, bool music,
                             bool synthesizer) {
  const SoundFormat content = FormatOfContent(data, size), named = FormatOfName(name);
  if (music && content == SoundFormat::kVoc) {
    return "a VOC file plays only as an effect (\"@W\", \"@A\"), never as music; save it as WAV or Ogg";
  }
  if (music && content != SoundFormat::kUnknown && named != SoundFormat::kUnknown && content != named) {
    return std::string("it holds ") + FormatName(content) + " but its name says " + FormatName(named) +
           ", and music is decoded by its name, so it stays silent; give it the right ending";
  }
  if ((content == SoundFormat::kMidi || named == SoundFormat::kMidi) && !synthesizer) {
    return "MIDI is heard only where a soundfont or TiMidity is set up, and this machine has none "
           "(Debian: fluid-soundfont-gm); a WAV or Ogg plays everywhere";
  }
  return "";
}

bool MidiSynthesizerSetUp() {
  std::vector<std::string> places = {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                     "/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/soundfonts/default.sf2",
                                     "/etc/timidity/timidity.cfg", "/etc/timidity.cfg"};
  for (const char* variable : {"SDL_SOUNDFONTS", "TIMIDITY_CFG"}) {
    const char* value = std::getenv(variable);
    for (std::string list = value ? value : ""; !list.empty();) {
      const size_t end = std::min(list.find(';'), list.find(':'));
      places.push_back(list.substr(0, end));
      list = end == std::string::npos ? "" : list.substr(end + 1);
    }
  }
  return std::any_of(places.begin(), places.end(),
                     [](const std::string& p) { return !p.empty() && TheMachine().IsRegularFile(p); });
}

bool SoundFileMayOpen(const std::string& path, std::set<std::string>* reported) {
  std::string why;
  if (CheckSoundFile(path, &why)) return true;
  if (reported->insert(path).second) Report("cannot play " + path + ": " + why);
  return false;
}

}  // namespace ks

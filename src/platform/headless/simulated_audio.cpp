#include "platform/headless/simulated_audio.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "sound/sound_check.h"

namespace ks {

std::optional<uint32_t> WavLengthMs(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char riff[12];
  if (!in.read(riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
    return std::nullopt;
  }
  uint32_t byteRate = 0;
  for (char header[8]; in.read(header, sizeof header);) {
    uint32_t size = 0;
    std::memcpy(&size, header + 4, 4);  // chunk sizes are little-endian, as is this machine
    if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16) {
      char format[16];
      if (!in.read(format, sizeof format)) return std::nullopt;
      std::memcpy(&byteRate, format + 8, 4);
      in.seekg(std::streamoff(size - 16 + (size & 1)), std::ios::cur);
    } else if (std::memcmp(header, "data", 4) == 0) {
      if (byteRate == 0) return std::nullopt;
      return uint32_t(std::min<uint64_t>(uint64_t(size) * 1000 / byteRate, UINT32_MAX));
    } else {
      in.seekg(std::streamoff(size) + (size & 1), std::ios::cur);
    }
  }
  return std::nullopt;
}

DeviceId SimulatedAudio::Open(AudioChannel channel, const std::string& path) {
  if (access(path.c_str(), R_OK) != 0 || path.back() == '/') return kNoDevice;
  if (!SoundFileMayOpen(path, &refused_)) return kNoDevice;  // as the player refuses it
  std::optional<uint32_t> length = WavLengthMs(path);
  // Even an empty sound takes a moment, so a repeating one cannot stop time.
  if (length) length = std::max<uint32_t>(*length, 1);
  const DeviceId id = next_++;
  devices_[id] = Device{channel, length};
  return id;
}

void SimulatedAudio::Interrupt(DeviceId id, Device& device) {
  if (device.playing && device.notify) notices_.push_back({id, /*completed=*/false});
  device.playing = false;
}

void SimulatedAudio::Play(DeviceId id, bool notify) {
  const auto it = devices_.find(id);
  if (it == devices_.end()) return;
  Interrupt(id, it->second);  // a replay supersedes the play before it
  if (card_.Wake()) ++cardOpens_;
  it->second.playing = true;
  it->second.notify = notify;
  it->second.startedAt = now_;
  ++starts_[int(it->second.channel)];
}

void SimulatedAudio::Stop(DeviceId id) {
  if (const auto it = devices_.find(id); it != devices_.end()) Interrupt(id, it->second);
}

void SimulatedAudio::Close(DeviceId id) {
  if (const auto it = devices_.find(id); it != devices_.end()) {
    Interrupt(id, it->second);
    devices_.erase(it);
  }
}

std::optional<uint32_t> SimulatedAudio::NextEnd() const {
  std::optional<uint32_t> next;
  for (const auto& [id, device] : devices_) {
    if (!device.playing || !device.lengthMs) continue;
    const uint32_t end = device.startedAt + *device.lengthMs;
    if (!next || end < *next) next = end;
  }
  return next;
}

void SimulatedAudio::FinishDue() {
  for (auto& [id, device] : devices_) {
    if (!device.playing || !device.lengthMs || now_ - device.startedAt < *device.lengthMs) continue;
    device.playing = false;
    if (device.notify) notices_.push_back({id, /*completed=*/true});
  }
  card_.Rest(now_, std::any_of(devices_.begin(), devices_.end(), [&](const auto& entry) {
    return IsPlaying(entry.first);
  }));
}

bool SimulatedAudio::IsPlaying(DeviceId id) const {
  const auto it = devices_.find(id);
  if (it == devices_.end() || !it->second.playing) return false;
  const Device& device = it->second;
  return !device.lengthMs || now_ - device.startedAt < *device.lengthMs;
}

bool SimulatedAudio::IsPlaying(AudioChannel channel) const {
  return std::any_of(devices_.begin(), devices_.end(),
                     [&](const auto& entry) { return entry.second.playing && entry.second.channel == channel; });
}

}  // namespace ks

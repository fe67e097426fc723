#include "platform/web/web_platform.h"

#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/file_io.h"
#include "core/limits.h"

namespace ks {

namespace {

// The page's keys, by DOM code, as the desktop binds them.
enum class Kind { kLevel, kEscape, kReader };
struct Binding {
  const char* code;
  Kind kind;
  int what;
};
constexpr Binding kKeyTable[] = {
    {"Enter", Kind::kLevel, int(Key::kEnter)},           {"NumpadEnter", Kind::kLevel, int(Key::kEnter)},
    {"Space", Kind::kLevel, int(Key::kSpace)},           {"ArrowUp", Kind::kLevel, int(Key::kUp)},
    {"ArrowDown", Kind::kLevel, int(Key::kDown)},        {"ControlLeft", Kind::kLevel, int(Key::kCtrl)},
    {"ControlRight", Kind::kLevel, int(Key::kCtrl)},     {"Escape", Kind::kEscape, 0},
    {"Minus", Kind::kReader, int(ReaderKey::kVolumeDown)}, {"NumpadSubtract", Kind::kReader, int(ReaderKey::kVolumeDown)},
    {"Equal", Kind::kReader, int(ReaderKey::kVolumeUp)},   {"NumpadAdd", Kind::kReader, int(ReaderKey::kVolumeUp)},
    {"Digit0", Kind::kReader, int(ReaderKey::kMute)},      {"Numpad0", Kind::kReader, int(ReaderKey::kMute)},
    {"F1", Kind::kReader, int(ReaderKey::kHelp)},          {"PageUp", Kind::kReader, int(ReaderKey::kBacklogOlder)},
    {"PageDown", Kind::kReader, int(ReaderKey::kBacklogNewer)},
    {"Backspace", Kind::kReader, int(ReaderKey::kBacklogClose)}, {"Tab", Kind::kReader, int(ReaderKey::kSkip)},
    {"KeyA", Kind::kReader, int(ReaderKey::kAuto)},        {"BracketLeft", Kind::kReader, int(ReaderKey::kAutoSlower)},
    {"BracketRight", Kind::kReader, int(ReaderKey::kAutoFaster)},
    {"F5", Kind::kReader, int(ReaderKey::kQuickSave)},     {"F9", Kind::kReader, int(ReaderKey::kQuickLoad)},
    {"F2", Kind::kReader, int(ReaderKey::kSaveSlots)},     {"F3", Kind::kReader, int(ReaderKey::kLoadSlots)},
    {"KeyV", Kind::kReader, int(ReaderKey::kSpeech)},      {"KeyC", Kind::kReader, int(ReaderKey::kClipboard)},
    {"KeyB", Kind::kReader, int(ReaderKey::kBackdrop)},    {"KeyH", Kind::kReader, int(ReaderKey::kHideText)},
};

EM_JS(void, KsCanvasShow, (const uint8_t* pixels, int width, int height), {
  Module.ksShow(HEAPU8.subarray(pixels, pixels + width * height * 4), width, height);
});
EM_JS(void, KsAudioOpen, (unsigned id, int channel, const uint8_t* bytes, int size), {
  Module.ksAudio.open(id, channel, HEAPU8.slice(bytes, bytes + size));
});
EM_JS(void, KsAudioPlay, (unsigned id), { Module.ksAudio.play(id); });
EM_JS(void, KsAudioStop, (unsigned id), { Module.ksAudio.stop(id); });
EM_JS(void, KsAudioClose, (unsigned id), { Module.ksAudio.close(id); });
EM_JS(void, KsAudioVolume, (int percent), { Module.ksAudio.volume(percent); });

// The largest sound the page is handed (a long piece of music as WAV).
constexpr size_t kMaxSoundBytes = size_t(256) << 20;

}  // namespace

void PresentToCanvas(const Surface& surface) { KsCanvasShow(surface.Bytes(), surface.width, surface.height); }

DeviceId WebAudio::Open(AudioChannel channel, const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, kMaxSoundBytes, &bytes, nullptr) || bytes.empty()) return kNoDevice;
  const DeviceId id = next_++;
  open_.insert(id);
  KsAudioOpen(id, int(channel), bytes.data(), int(bytes.size()));
  return id;
}

void WebAudio::Play(DeviceId device, bool notify) {
  if (!open_.count(device)) return;
  playing_.insert(device);
  if (notify) {
    notify_.insert(device);
  } else {
    notify_.erase(device);
  }
  KsAudioPlay(device);  // a replay stops the sound first, which reports nothing
}

void WebAudio::Stop(DeviceId device) {
  if (!open_.count(device)) return;
  playing_.erase(device);
  notify_.erase(device);
  KsAudioStop(device);
}

void WebAudio::Close(DeviceId device) {
  if (!open_.erase(device)) return;
  playing_.erase(device);
  notify_.erase(device);
  KsAudioClose(device);
}

void WebAudio::SetVolume(int percent) { KsAudioVolume(std::clamp(percent, 0, 100)); }

void WebAudio::Ended(DeviceId device) {
  if (!playing_.erase(device)) return;  // stopped or closed meanwhile: no completion
  if (notify_.erase(device)) messages_.push_back(Message{Message::Kind::kPlayback, PlaybackNotice{device, true}});
}

EM_JS(int, KsSpeechReady, (), { return typeof speechSynthesis === 'object' ? 1 : 0; });
EM_JS(void, KsSay, (const char* text), {
  const utterance = new SpeechSynthesisUtterance(UTF8ToString(text));
  utterance.lang = 'ja-JP';
  speechSynthesis.speak(utterance);  // after what is being said
});
EM_JS(void, KsStopSpeech, (), { if (typeof speechSynthesis === 'object') speechSynthesis.cancel(); });
EM_JS(void, KsClip, (const char* text), {
  if (navigator.clipboard) navigator.clipboard.writeText(UTF8ToString(text)).catch(() => {});
});

bool WebSpeech::Start(std::string* why) {
  if (KsSpeechReady()) return true;
  if (why) *why = "this browser does not speak (it has no speechSynthesis)";
  return false;
}
void WebSpeech::Say(const std::string& utf8) { KsSay(utf8.c_str()); }
void WebSpeech::Stop() { KsStopSpeech(); }

void WebPlatform::PutOnClipboard(const std::string& utf8) { KsClip(utf8.c_str()); }

uint32_t WebPlatform::NowMs() { return uint32_t(uint64_t(emscripten_get_now())); }

FrameKeys WebPlatform::TakeKeys() {
  FrameKeys keys = keys_.Take();
  keys.pointerX = pointerX_;
  keys.pointerY = pointerY_;
  keys.pointerMoved = std::exchange(pointerMoved_, false);
  return keys;
}

bool WebPlatform::TakeMessage(Message* message) {
  if (messages_.empty()) return false;
  *message = messages_.front();
  messages_.pop_front();
  return true;
}

bool WebPlatform::QuitPending() {
  return std::any_of(messages_.begin(), messages_.end(), [](const Message& m) {
    return m.kind == Message::Kind::kQuit || m.kind == Message::Kind::kEscape;
  });
}

void WebPlatform::OnKey(const std::string& code, bool down, bool repeat, bool shift) {
  inputSinceFrame_ = true;
  bool bound = false;
  for (const Binding& binding : kKeyTable) {
    if (code != binding.code) continue;
    bound = true;
    if (binding.kind == Kind::kLevel) {
      keys_.Set(Key(binding.what), down);
    } else if (down && !repeat && binding.kind == Kind::kEscape) {
      messages_.push_back(Message{Message::Kind::kEscape, {}});
    } else if (down && !repeat) {
      ReaderKey what = ReaderKey(binding.what);
      if (what == ReaderKey::kSkip && shift) what = ReaderKey::kSkipAll;
      if (what == ReaderKey::kClipboard && !shift) what = ReaderKey::kOther;  // Shift+C
      keys_.Press(what);
    }
  }
  if (!bound && down && !repeat) keys_.Press(ReaderKey::kOther);
}

void WebPlatform::OnPointer(int x, int y, int button, bool down) {
  inputSinceFrame_ = true;
  const bool inside = x >= 0 && y >= 0 && x < kScreenWidth && y < kScreenHeight;
  pointerX_ = inside ? x : -1;
  pointerY_ = inside ? y : -1;
  if (button < 0) pointerMoved_ = true;
  if (button == 0) keys_.Set(Key::kLeftButton, down);
  if (button == 2) keys_.Set(Key::kRightButton, down);
}

void WebPlatform::OnWheel(int notches) {
  inputSinceFrame_ = true;
  // Each notch is a tap of its own.
  for (int i = 0; i < std::min(std::abs(notches), 8); ++i) {
    const Key key = notches > 0 ? Key::kWheelUp : Key::kWheelDown;
    keys_.Set(key, true);
    keys_.Set(key, false);
  }
}

}  // namespace ks

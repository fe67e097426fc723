#include "platform/headless/headless_platform.h"

#include <sstream>

namespace ks {

bool ParseKeyTokens(const std::string& text, std::vector<KeyToken>* frames, std::string* error) {
  std::istringstream in(text);
  std::vector<KeyToken> parsed;
  for (std::string token; in >> token;) {
    auto bad = [&](const char* why) {
      if (error) *error = "bad input token \"" + token + "\": " + why;
      return false;
    };
    std::string keys = token;
    unsigned long repeat = 1;
    if (const size_t star = token.find('*'); star != std::string::npos) {
      keys = token.substr(0, star);
      const std::string count = token.substr(star + 1);
      if (count.empty() || count.size() > 7 || count.find_first_not_of("0123456789") != std::string::npos) {
        return bad("the count after * must be a number below 10000000");
      }
      repeat = std::stoul(count);
    }
    KeyToken frame;
    if (keys != ".") {
      if (keys.empty()) return bad("no keys");
      for (char c : keys) {
        switch (c) {
          case 'E': frame.keys.enter = true; break;
          case 'S': frame.keys.space = true; break;
          case 'U': frame.keys.up = true; break;
          case 'D': frame.keys.down = true; break;
          case 'X': frame.escape = true; break;
          case 'K': frame.keys.ctrl = true; break;
          case 'B': frame.keys.Press(ReaderKey::kBacklogOlder); break;
          case 'N': frame.keys.Press(ReaderKey::kBacklogNewer); break;
          case 'A': frame.keys.Press(ReaderKey::kAuto); break;
          case 'T': frame.keys.Press(ReaderKey::kSkip); break;
          case 'W': frame.keys.Press(ReaderKey::kQuickSave); break;
          case 'L': frame.keys.Press(ReaderKey::kQuickLoad); break;
          case 'V': frame.keys.Press(ReaderKey::kSaveSlots); break;
          case 'O': frame.keys.Press(ReaderKey::kLoadSlots); break;
          case 'R': frame.keys.Press(ReaderKey::kBacklogClose); break;
          case 'G': frame.keys.Press(ReaderKey::kBackdrop); break;
          case 'H': frame.keys.Press(ReaderKey::kHideText); break;
          default: return bad("keys are . or any of E S U D X, K B N A T, W L V O R, G H");
        }
      }
    }
    parsed.insert(parsed.end(), repeat, frame);
  }
  *frames = std::move(parsed);
  return true;
}

FrameKeys HeadlessPlatform::TakeKeys() {
  const KeyToken* token = Current();
  const FrameKeys given = token ? token->keys : FrameKeys{};
  // One frame a token: each key goes to its level in one change. A wheel
  // notch is a tap of its own in every frame that has one.
  for (int k = 0; k < kKeyCount; ++k) {
    if (Key(k) != Key::kWheelDown && Key(k) != Key::kWheelUp) tracker_.Set(Key(k), FrameKeys(given)[Key(k)]);
  }
  for (unsigned k = 0; k <= unsigned(ReaderKey::kOther); ++k) {
    if (given.Pressed(ReaderKey(k))) tracker_.Press(ReaderKey(k));
  }
  FrameKeys keys = tracker_.Take();
  keys.wheelDown = given.wheelDown;
  keys.wheelUp = given.wheelUp;
  keys.pointerX = given.pointerX;
  keys.pointerY = given.pointerY;
  keys.pointerMoved = given.pointerMoved;
  return keys;
}

bool HeadlessPlatform::TakeMessage(Message* message) {
  if (!notices_.empty()) {
    *message = Message{Message::Kind::kPlayback, notices_.front()};
    notices_.pop_front();
    return true;
  }
  // Escape is pressed once, before the token's frame.
  if (const KeyToken* token = Current(); token && token->escape && escapedAt_ != processed_ + 1) {
    escapedAt_ = processed_ + 1;
    *message = Message{Message::Kind::kEscape, {}};
    return true;
  }
  return false;
}

void HeadlessPlatform::WaitForMessage(uint32_t ms) {
  const uint32_t until = now_ + ms;
  const std::optional<uint32_t> end = audio_.NextEnd();
  now_ = (end && *end - now_ <= ms) ? *end : until;
  audio_.FinishDue();
}

void HeadlessPlatform::SetKeys(const KeyToken& keys) {
  frames_.resize(size_t(processed_));
  frames_.push_back(keys);
}

}  // namespace ks

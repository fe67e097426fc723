// The platform seam without a screen, a keyboard or a sound card, for tests
// and the replay tool. Time is virtual and only moves while the main loop
// waits; each processed frame takes the next entry of a list of keys.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/key_tracker.h"
#include "core/platform.h"
#include "platform/headless/simulated_audio.h"

namespace ks {

// One processed frame's input: the keys held during it, and Escape pressed
// before it.
struct KeyToken {
  FrameKeys keys;
  bool escape = false;
};

// Reads whitespace-separated key tokens, one per frame: "." for no key, or
// any of E (Enter), S (Space), U (Up), D (Down) held together, X (Escape
// before the frame), K (Ctrl), B N R (PageUp, PageDown, Backspace), A (auto),
// T (Tab), W L (F5 quick save, F9 quick load), V O (F2, F3 the slots
// screens), G (the text's backdrop, one step), H (hide the text);
// "TOKEN*N" repeats a token N times. Returns false with a reason on a
// malformed token.
bool ParseKeyTokens(const std::string& text, std::vector<KeyToken>* frames, std::string* error);

class HeadlessPlatform : public Platform {
 public:
  explicit HeadlessPlatform(std::vector<KeyToken> frames = {}) : frames_(std::move(frames)) {}

  uint32_t NowMs() override { return now_; }
  FrameKeys TakeKeys() override;
  void SwallowHeldKeys() override { tracker_.Swallow(); }
  bool TakeMessage(Message* message) override;
  // Moves the clock on by `ms`, or to the end of a sound that ends sooner.
  void WaitForMessage(uint32_t ms) override;
  AudioDevice& Audio() override { return audio_; }
  void Present(const Surface&) override { ++presents_; }
  void FrameProcessed() override { ++processed_; }

  // Frames processed so far; the index of the keys in use.
  uint64_t processed() const { return processed_; }
  // Whether keys remain for the next frame.
  bool HasKeysLeft() const { return processed_ < frames_.size(); }
  uint64_t presents() const { return presents_; }
  const SimulatedAudio& audio() const { return audio_; }
  // Replaces the keys from the next frame on (for tests that steer frame by frame).
  void SetKeys(const KeyToken& keys);
  void Advance(uint32_t ms) { now_ += ms; }

 private:
  const KeyToken* Current() const { return HasKeysLeft() ? &frames_[size_t(processed_)] : nullptr; }

  uint32_t now_ = 0;
  std::vector<KeyToken> frames_;
  uint64_t processed_ = 0;
  uint64_t presents_ = 0;
  uint64_t escapedAt_ = 0;  // 1 + the frame whose Escape was taken
  KeyTracker tracker_;      // the list's keys are levels; the tracker tells their presses
  std::deque<PlaybackNotice> notices_;
  SimulatedAudio audio_{now_, notices_};
};

}  // namespace ks

// The desktop's voice: the command the reader named in settings.ini
// (speech_command), run once for each thing said with the text as UTF-8 on
// its standard input, or else speech-dispatcher with the reader's own voice
// and language.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "core/speech.h"

namespace ks {

class DesktopSpeech : public Speech {
 public:
  // `command` is run by /bin/sh; "" asks speech-dispatcher.
  explicit DesktopSpeech(std::string command) : command_(std::move(command)) {}
  ~DesktopSpeech() override;
  DesktopSpeech(const DesktopSpeech&) = delete;
  DesktopSpeech& operator=(const DesktopSpeech&) = delete;

  bool Start(std::string* why) override;
  void Say(const std::string& utf8) override;
  void Stop() override;

 private:
  // Runs the command for each text in turn, until told to end.
  void RunCommands();

  const std::string command_;
  void* dispatcher_ = nullptr;  // speech-dispatcher's SPDConnection (an unnamed struct)
  std::thread runner_;
  std::mutex mutex_;  // guards what follows
  std::condition_variable wake_;
  std::deque<std::string> waiting_;
  pid_t speaking_ = -1;  // the command's process group while it runs
  bool ending_ = false;
  bool toldNotFound_ = false;  // the runner's own
};

}  // namespace ks

// The ways a page's text leaves the picture for readers who do not read it
// there: a voice, and the clipboard a screen reader or a braille display
// reads. The core declares them; the desktop speaks through speech-dispatcher
// or a command of the reader's choice, and the SDL platform owns the
// clipboard. Text is UTF-8, its line breaks kept.
#pragma once

#include <string>

namespace ks {

class Speech {
 public:
  virtual ~Speech() = default;
  // Makes ready to speak. Returns false, with a reason a reader can act on,
  // when nothing can speak here.
  virtual bool Start(std::string* why) = 0;
  // Says `utf8` once what is being said now is done.
  virtual void Say(const std::string& utf8) = 0;
  // Cuts off what is being said and forgets what waits.
  virtual void Stop() = 0;
};

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Puts `utf8` on the clipboard in place of what was there.
  virtual void PutOnClipboard(const std::string& utf8) = 0;
};

}  // namespace ks

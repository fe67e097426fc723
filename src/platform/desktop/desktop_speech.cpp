// A command is run on a thread of its own, one text at a time, in a process
// group of its own, so that cutting it off (a page turned) ends whatever it
// started, a synthesiser and its sound player alike. Its text is written to
// a pipe with SIGPIPE held back on that thread: a command that ends without
// reading all of it costs nothing.
#include "platform/desktop/desktop_speech.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <libspeechd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "core/report.h"
#include "core/trace.h"

extern char** environ;

namespace ks {
namespace {

SPDConnection* Dispatcher(void* connection) { return static_cast<SPDConnection*>(connection); }

// libspeechd, loaded when the reader first turns speech on: at start it
// would bring GLib and its own libraries into every run, read aloud or not.
struct SpeechLibrary {
  decltype(&spd_open2) open = nullptr;
  decltype(&spd_say) say = nullptr;
  decltype(&spd_cancel) cancel = nullptr;
  decltype(&spd_close) close = nullptr;

  bool Load(std::string* why) {
    if (open) return true;
    void* handle = dlopen("libspeechd.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      *why = dlerror();
      return false;
    }
    auto find = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
      return fn != nullptr;
    };
    if (find(say, "spd_say") && find(cancel, "spd_cancel") && find(close, "spd_close") && find(open, "spd_open2")) {
      return true;  // kept loaded to the end: connections live on its threads
    }
    *why = "libspeechd.so.2 lacks spd_open2, spd_say, spd_cancel or spd_close";
    open = nullptr;
    dlclose(handle);
    return false;
  }
};

SpeechLibrary& Library() {
  static SpeechLibrary library;
  return library;
}

}  // namespace

DesktopSpeech::~DesktopSpeech() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    waiting_.clear();
    if (speaking_ > 0) kill(-speaking_, SIGKILL);  // the player ends now, whatever the command does
  }
  if (dispatcher_) Library().cancel(Dispatcher(dispatcher_));
  wake_.notify_all();
  if (runner_.joinable()) runner_.join();
  if (dispatcher_) Library().close(Dispatcher(dispatcher_));
}

bool DesktopSpeech::Start(std::string* why) {
  if (!command_.empty()) {
    if (!runner_.joinable()) runner_ = std::thread([this] { RunCommands(); });
    return true;
  }
  if (dispatcher_) return true;
  if (std::string missing; !Library().Load(&missing)) {
    *why = "no speech: speech-dispatcher's library cannot be loaded (" + missing +
           "); install libspeechd2, or name a command in settings.ini as speech_command";
    return false;
  }
  char* error = nullptr;
  dispatcher_ = Library().open("kamishibai", "main", nullptr, SPD_MODE_SINGLE, nullptr, 1, &error);
  if (!dispatcher_) {
    *why = std::string("no speech: speech-dispatcher does not answer") + (error ? std::string(" (") + error + ")" : "") +
           "; install speech-dispatcher, or name a command in settings.ini as speech_command";
    std::free(error);
    return false;
  }
  return true;
}

void DesktopSpeech::Say(const std::string& utf8) {
  if (dispatcher_) {
    Library().say(Dispatcher(dispatcher_), SPD_TEXT, utf8.c_str());
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back(utf8);
  }
  wake_.notify_all();
}

void DesktopSpeech::Stop() {
  if (dispatcher_) {
    Library().cancel(Dispatcher(dispatcher_));
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.clear();
  if (speaking_ > 0) kill(-speaking_, SIGTERM);
}

void DesktopSpeech::RunCommands() {
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
  for (;;) {
    std::string text;
    int input[2] = {-1, -1};
    pid_t child = -1;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
      if (ending_) return;
      text = std::move(waiting_.front());
      waiting_.pop_front();
      // Started under the lock, so that a Stop meanwhile finds it to end.
      if (pipe2(input, O_CLOEXEC) != 0) continue;
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
      posix_spawnattr_t attributes;
      posix_spawnattr_init(&attributes);
      sigset_t none;
      sigemptyset(&none);
      posix_spawnattr_setsigmask(&attributes, &none);
      posix_spawnattr_setpgroup(&attributes, 0);
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
      const char* argv[] = {"/bin/sh", "-c", command_.c_str(), nullptr};
      if (posix_spawn(&child, "/bin/sh", &actions, &attributes, const_cast<char**>(argv), environ) != 0) child = -1;
      posix_spawn_file_actions_destroy(&actions);
      posix_spawnattr_destroy(&attributes);
      speaking_ = child;
    }
    close(input[0]);
    for (size_t done = 0; child > 0 && done < text.size();) {
      const ssize_t n = write(input[1], text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the command took no more
      done += size_t(n);
    }
    close(input[1]);
    if (child <= 0) {
      Trace("speech_command could not be started");
      continue;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // A command the shell cannot find is said once, as a reader can mend it.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && !toldNotFound_) {
      toldNotFound_ = true;
      Report("no speech: speech_command " + command_ + " was not found");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    speaking_ = -1;
  }
}

}  // namespace ks

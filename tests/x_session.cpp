#include "x_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace ks::test {

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool HaveTools(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) != 0) return false;
  }
  return true;
}

Child::~Child() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool Child::Start(const std::vector<std::string>& argv, const std::string& dir,
                  const std::map<std::string, std::string>& env, const std::string& logFile) {
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
      close(log);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return true;
}

bool Child::Wait(int ms, int* status) {
  const long long end = NowMs() + ms;
  do {
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      pid_ = -1;
      if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      return true;
    }
    SleepMs(5);
  } while (NowMs() < end);
  return false;
}

bool XSession::Start(std::string* error) {
  if (!HaveTools({"Xvfb", "xdotool", "xwd"})) {
    *error = "Xvfb, xdotool and xwd are needed (Debian: xvfb xdotool x11-apps)";
    return false;
  }
  // Xvfb picks a free display itself and writes its number to the pipe.
  // Without -noreset it resets when its last client goes, and a player
  // that connects at that moment is refused.
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  const std::string fd = std::to_string(pipeFds[1]);
  if (!server_.Start({"Xvfb", "-displayfd", fd, "-noreset", "-screen", "0", "640x480x24", "-nolisten", "tcp"}, "",
                     {}, "/dev/null")) {
    *error = "cannot start Xvfb";
    return false;
  }
  close(pipeFds[1]);
  std::string number;
  char c = 0;
  const long long end = NowMs() + 10000;
  fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
  while (NowMs() < end) {
    const ssize_t n = read(pipeFds[0], &c, 1);
    if (n == 1 && c == '\n') break;
    if (n == 1) number += c;
    if (n == 0) break;
    if (n < 0) SleepMs(10);
  }
  close(pipeFds[0]);
  if (number.empty()) {
    *error = "Xvfb did not start";
    return false;
  }
  display_ = ":" + number;
  return true;
}

int XSession::Run(const std::string& command) const {
  const int raw = std::system(("DISPLAY=" + display_ + " " + command).c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

void XSession::Press(const std::string& key) const {
  Run("xdotool keydown " + key + " && sleep 0.15 && DISPLAY=" + display_ + " xdotool keyup " + key);
}

bool XSession::WaitForWindow(const std::string& title, int ms) const {
  const long long end = NowMs() + ms;
  while (NowMs() < end) {
    if (Run("xdotool search --name '^" + title + "$' >/dev/null 2>&1") == 0) return true;
    SleepMs(50);
  }
  return false;
}

namespace {

uint32_t Big32(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The value of one colour channel under `mask`, scaled to 8 bits.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const uint32_t max = mask >> shift;
  return ((pixel & mask) >> shift) * 255 / max;
}

}  // namespace

// An XWD dump: a big-endian header of 25 words, the window's name, the colour
// map, then the rows of pixels as the server holds them.
bool XSession::Screenshot(Image* image, std::string* error) const {
  const std::string command = "DISPLAY=" + display_ + " xwd -root -silent";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  std::vector<unsigned char> data;
  unsigned char chunk[65536];
  size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) data.insert(data.end(), chunk, chunk + got);
  pclose(pipe);
  if (data.size() < 100) {
    *error = "xwd gave no picture";
    return false;
  }
  auto field = [&](int i) { return Big32(data.data() + 4 * i); };
  const uint32_t headerSize = field(0), format = field(2), width = field(4), height = field(5);
  const uint32_t byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12);
  const uint32_t red = field(14), green = field(15), blue = field(16), colours = field(19);
  const size_t pixels = size_t(headerSize) + size_t(colours) * 12;
  if (format != 2 || bitsPerPixel != 32 || data.size() < pixels + size_t(bytesPerLine) * height) {
    *error = "unexpected xwd picture format";
    return false;
  }
  image->width = int(width);
  image->height = int(height);
  image->pixels.clear();
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const unsigned char* p = data.data() + pixels + size_t(y) * bytesPerLine + size_t(x) * 4;
      const uint32_t value = byteOrder == 0 ? (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0])
                                            : Big32(p);
      image->pixels.push_back(Channel(value, red) << 16 | Channel(value, green) << 8 | Channel(value, blue));
    }
  }
  return true;
}

}  // namespace ks::test

// Writes on a thread of its own, so that no frame waits for the disk (an
// fsync can take a second). Writes run one at a time, in the order given; a
// write handed over while another of the same kind still waits its turn
// takes that one's place, so a burst of changes costs the write under way
// and one more.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace ks {

class BackgroundWriter {
 public:
  BackgroundWriter();
  // Finishes every write that waits.
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Hands `write` over under `kind`; returns at once.
  void Put(int kind, std::function<void()> write);
  // Returns when every write handed over so far is done.
  void Finish();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<int, std::function<void()>>> waiting_;
  bool busy_ = false, stopping_ = false;
  std::thread thread_;
};

}  // namespace ks

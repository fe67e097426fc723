#include "platform/desktop/background_writer.h"

namespace ks {

BackgroundWriter::BackgroundWriter() : thread_([this] { Run(); }) {}

BackgroundWriter::~BackgroundWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BackgroundWriter::Put(int kind, std::function<void()> write) {
  {
    std::lock_guard lock(mutex_);
    bool replaced = false;
    for (auto& [waitingKind, waiting] : waiting_) {
      if (waitingKind == kind) waiting = std::move(write), replaced = true;
    }
    if (!replaced) waiting_.emplace_back(kind, std::move(write));
  }
  changed_.notify_all();
}

void BackgroundWriter::Finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return waiting_.empty() && !busy_; });
}

void BackgroundWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // stopping, with nothing left to write
    std::function<void()> write = std::move(waiting_.front().second);
    waiting_.pop_front();
    busy_ = true;
    lock.unlock();
    write();
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace ks

// Syncing the result on a second thread, a step behind the writer.
#include "background_sync.h"

#include <system_error>

#include "interrupt.h"
#include "io.h"

void background_sync::follow(int fd) {
  stop();
  fd_ = fd;
  requested_ = 0;
  error_ = 0;
}

int background_sync::written(long long offset) {
  if (fd_ < 0 || offset - requested_ < step) {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }
  io_start_writeback(fd_, requested_, offset - requested_);
  requested_ = offset;
  if (!thread_.joinable()) {
    // Started with the handled signals held back, which the thread keeps:
    // the handlers then run only where the registrations are kept up to date.
    // A thread that cannot be started leaves all syncing to the final sync.
    interrupt_shielded(
        [](void* self) {
          auto* sync = static_cast<background_sync*>(self);
          try {
            sync->thread_ = std::thread(&background_sync::run, sync);
          } catch (const std::system_error&) {
          }
        },
        this);
    if (!thread_.joinable()) return 0;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  due_ = true;
  wake_.notify_one();
  return error_;
}

int background_sync::stop() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ending_ = true;
      wake_.notify_one();
    }
    thread_.join();
  }
  ending_ = false;
  due_ = false;
  return error_;
}

// Each pass syncs everything written by then, which covers every stretch
// asked for before it began; requests that come in meanwhile make one more
// pass, also when the thread is to end. After the first failure no more
// syncs are made.
void background_sync::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return due_ || ending_; });
    if (!due_) return;
    due_ = false;
    if (error_ != 0) continue;
    lock.unlock();
    const int err = io_sync_data(fd_);
    lock.lock();
    if (error_ == 0) error_ = err;
  }
}

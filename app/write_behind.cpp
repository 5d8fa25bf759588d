// Writing and syncing the result on two threads behind the merge.
#include "write_behind.h"

#include <cassert>
#include <system_error>

#include "interrupt.h"
#include "io.h"

void write_behind::follow(int fd) {
  stop();
  fd_ = fd;
  queued_ = written_ = 0;
  offset_ = requested_ = 0;
  error_ = 0;
}

char* write_behind::buffer() {
  if (!memory_) memory_.reset(new char[buffer_count * buffer_size]);
  return slot(queued_);
}

int write_behind::error() {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

char* write_behind::hand_over(char* filled, std::size_t n, bool last) {
  assert(filled == slot(queued_) && n <= buffer_size);
  (void)filled;
  if (!writer_.joinable() && !last) start_threads();
  if (!writer_.joinable()) {  // one buffer only, or no thread to be had
    if (error_ == 0) error_ = io_write_all(fd_, slot(queued_), n);
    offset_ += static_cast<long long>(n);
    return slot(queued_);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  length_[queued_ % buffer_count] = n;
  ++queued_;
  queued_or_ending_.notify_one();
  written_one_.wait(lock, [this] { return queued_ - written_ < buffer_count; });
  return slot(queued_);
}

// Both threads start with the handled signals held back, which they keep:
// the handlers then run only where the registrations are kept up to date.
// When a thread cannot be started the writing stays on the merge's thread.
void write_behind::start_threads() {
  interrupt_shielded(
      [](void* self) {
        auto* w = static_cast<write_behind*>(self);
        try {
          w->syncer_ = std::thread(&write_behind::sync_loop, w);
          w->writer_ = std::thread(&write_behind::write_loop, w);
        } catch (const std::system_error&) {
        }
      },
      this);
}

int write_behind::stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (writer_.joinable()) {
    writer_ending_ = true;
    queued_or_ending_.notify_one();
    lock.unlock();
    writer_.join();
    lock.lock();
    writer_ending_ = false;
  }
  if (syncer_.joinable()) {
    syncer_ending_ = true;
    sync_due_or_ending_.notify_one();
    lock.unlock();
    syncer_.join();
    lock.lock();
    syncer_ending_ = false;
  }
  return error_;
}

// Writes the buffers in the order handed over, and ends only once none is
// left. After the first failure the buffers are dropped unwritten.
void write_behind::write_loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queued_or_ending_.wait(lock, [this] { return queued_ > written_ || writer_ending_; });
    if (queued_ == written_) return;
    const char* buf = slot(written_);
    const std::size_t n = length_[written_ % buffer_count];
    const bool failed = error_ != 0;
    lock.unlock();
    // The offsets are the writer's own while the thread runs.
    const int err = failed ? 0 : io_write_all(fd_, buf, n);
    offset_ += static_cast<long long>(n);
    const bool step = !failed && err == 0 && offset_ - requested_ >= sync_step;
    if (step) {
      io_start_writeback(fd_, requested_, offset_ - requested_);
      requested_ = offset_;
    }
    lock.lock();
    if (error_ == 0) error_ = err;
    ++written_;
    written_one_.notify_one();
    if (step) {
      sync_due_ = true;
      sync_due_or_ending_.notify_one();
    }
  }
}

// Each pass syncs everything written by then, which covers every stretch
// asked for before it began; requests that come in meanwhile make one more
// pass, also when the thread is to end.
void write_behind::sync_loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    sync_due_or_ending_.wait(lock, [this] { return sync_due_ || syncer_ending_; });
    if (!sync_due_) return;
    sync_due_ = false;
    if (error_ != 0) continue;
    lock.unlock();
    const int err = io_sync_data(fd_);
    lock.lock();
    if (error_ == 0) error_ = err;
  }
}

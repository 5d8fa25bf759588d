// Writing and syncing the result on two threads behind the merge.
#include "streams/write_behind.h"

#include <cassert>

#include "host/io.h"
#include "streams/side_thread.h"

void write_behind::follow(int fd) {
  stop();
  fd_ = fd;
  queued_ = written_ = 0;
  offset_ = requested_ = 0;
  error_ = 0;
  threads_tried_ = false;
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
  if (!threads_tried_ && !last) start_threads();
  if (!writer_.joinable()) {  // one buffer only, or no thread to be had
    if (error_ == 0) error_ = io_write_all(fd_, slot(queued_), n).error;
    offset_ += static_cast<long long>(n);
    return slot(queued_);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  length_[queued_ % buffer_count] = n;
  ++queued_;
  if (queued_ - written_ >= wake_at) queued_or_ending_.notify_one();
  written_one_.wait(lock, [this] { return queued_ - written_ < buffer_count; });
  return slot(queued_);
}

// Tried once per file. When the writer cannot be started the writing stays
// on the merge's thread; when the syncer cannot, the syncing is left to the
// final sync. Either way the bytes are the same.
void write_behind::start_threads() {
  threads_tried_ = true;
  start_side_thread(writer_, this, &write_behind::write_loop);
  if (writer_.joinable()) start_side_thread(syncer_, this, &write_behind::sync_loop);
}

int write_behind::stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  end_side_thread(writer_, lock, writer_ending_, queued_or_ending_);
  end_side_thread(syncer_, lock, syncer_ending_, sync_due_or_ending_);
  return error_;
}

// Writes the buffers in the order handed over, and ends only once none is
// left. After the first failure the buffers are dropped unwritten.
void write_behind::write_loop() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Woken for a few buffers at a time (each wake-up costs a system call on
    // both sides), then on until none is left.
    if (queued_ == written_) queued_or_ending_.wait(lock, [this] { return queued_ - written_ >= wake_at || writer_ending_; });
    if (queued_ == written_) return;
    const char* buf = slot(written_);
    const std::size_t n = length_[written_ % buffer_count];
    const bool failed = error_ != 0;
    lock.unlock();
    // The offsets are the writer's own while the thread runs.
    const int err = failed ? 0 : io_write_all(fd_, buf, n).error;
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
void write_behind::sync_loop() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    sync_due_or_ending_.wait(lock, [this] { return sync_due_ || syncer_ending_; });
    if (!sync_due_) return;
    sync_due_ = false;
    if (error_ != 0) continue;
    lock.unlock();
    const int err = io_sync_data(fd_).error;
    lock.lock();
    if (error_ == 0) error_ = err;
  }
}

// Writing and syncing the result behind the merge, on two more threads.
//
// The copy pass alternates scanning, which is the merge's own work, with
// handing bytes to the system and waiting for the disk. Here the filled
// buffers go to a writer thread, which writes them in order while the merge
// fills the next one; and every sync_step bytes the stretch just written is
// handed to a sync thread, which syncs it while the writing goes on, so the
// final sync has at most a step or two left (a sync costs time in proportion
// to the data not yet on the disk).
//
// Memory stays fixed: buffer_count buffers of buffer_size bytes. The threads
// are started with the first full buffer (a result of one buffer is written
// directly), the interruption handlers never run on them, and stop() ends
// them before the file may be closed. The first error of a write or a sync
// is kept with its errno; from then on nothing more is written.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

class write_behind {
 public:
  static constexpr std::size_t buffer_size = 1 << 19;
  static constexpr long long sync_step = 8 << 20;

  write_behind() = default;
  ~write_behind() { stop(); }
  write_behind(const write_behind&) = delete;
  write_behind& operator=(const write_behind&) = delete;

  // Writes into fd from its offset 0 on (a file that starts empty), which
  // the caller keeps open until stop() has returned. Stops the work for an
  // earlier file and forgets its error.
  void follow(int fd);

  // The buffer to fill first: buffer_size bytes.
  char* buffer();

  // Takes the buffer last handed out, filled with n bytes, to be written
  // after those handed over before it; returns the buffer to fill next,
  // waiting for one while all others are still being written. With last
  // set and no thread started yet, the bytes are written at once instead.
  char* hand_over(char* filled, std::size_t n, bool last = false);

  // The errno of the first failed write or sync so far, or 0.
  int error();

  // Waits until everything handed over is written and the syncs asked for
  // are done, and ends the threads; returns error(). The caller then syncs
  // the file itself, which is quick for the little that is left.
  int stop();

 private:
  static constexpr unsigned buffer_count = 3;
  static constexpr unsigned wake_at = 2;  // buffers queued that wake the writer thread

  char* slot(unsigned long long n) { return memory_.get() + (n % buffer_count) * buffer_size; }
  void start_threads();
  void write_loop() noexcept;
  void sync_loop() noexcept;

  std::unique_ptr<char[]> memory_;
  int fd_ = -1;

  std::mutex mutex_;
  std::condition_variable queued_or_ending_;  // wakes the writer thread
  std::condition_variable written_one_;       // wakes the merge waiting for a buffer
  std::condition_variable sync_due_or_ending_;
  std::size_t length_[buffer_count] = {};
  unsigned long long queued_ = 0;   // buffers handed over
  unsigned long long written_ = 0;  // buffers written (or dropped after an error)
  long long offset_ = 0;            // bytes written (the writer thread's own)
  long long requested_ = 0;         // offset up to which a sync was asked for (likewise)
  bool sync_due_ = false;
  bool writer_ending_ = false;
  bool syncer_ending_ = false;
  bool threads_tried_ = false;  // since follow()
  int error_ = 0;

  std::thread writer_;
  std::thread syncer_;
};

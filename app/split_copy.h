// The merge's copy loop on two threads.
//
// The copy step costs far more than the reading and writing around it, so a
// large buffered stretch of input is copied in two halves at once: the
// merge's thread copies the records up to a line end near the middle, a
// second thread those after it, into a buffer of its own. When the first
// half's last record ends before that line end (a record over several lines
// may not), the second half's text is exactly what the merge's thread would
// have written next, and it is appended; otherwise it is dropped and the
// copy goes on from where the first half stopped. Either way the result is
// that of copy_records, byte for byte. Memory stays fixed: one buffer.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "point_file.h"

class split_copy {
 public:
  // Splits buffered stretches of at least min_split bytes.
  explicit split_copy(std::size_t min_split = 1 << 16);
  ~split_copy();
  split_copy(const split_copy&) = delete;
  split_copy& operator=(const split_copy&) = delete;

  // What copy_records(in, out) does, with the same result.
  std::size_t copy(text_reader& in, point_writer& out);

 private:
  static constexpr std::size_t buffer_size = 1 << 18;

  void work_loop();

  const std::size_t min_split_;
  std::unique_ptr<char[]> buffer_;

  std::mutex mutex_;
  std::condition_variable work_or_ending_;  // wakes the second thread
  std::condition_variable done_;            // wakes the merge's thread
  const char* from_ = nullptr;              // the second half: from_ to limit_
  const char* limit_ = nullptr;
  bool working_ = false;  // a half is given and not yet done
  bool ending_ = false;
  record_run run_{};  // the second half's copy, once done
  bool started_ = false;
  std::thread thread_;
};

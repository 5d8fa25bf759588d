// The buffered writer of the result's bytes, with fixed memory.
#pragma once

#include <cassert>
#include <cstddef>

#include "host/failure.h"

class write_behind;

// A buffered writer over a file descriptor, with fixed memory.
// The first write that fails is remembered and every later write is
// dropped; the caller checks failed() after flush().
class point_writer {
 public:
  static constexpr std::size_t buffer_size = 1 << 18;  // when writing directly

  point_writer();
  ~point_writer();
  point_writer(const point_writer&) = delete;
  point_writer& operator=(const point_writer&) = delete;

  // Writes into fd, which the caller keeps. With behind, the filled buffers
  // are handed to it instead, to be written and synced on its threads; the
  // caller has pointed it at fd (write_behind::follow) and stops it, and
  // its errors count as write errors.
  void attach(int fd, write_behind* behind = nullptr);
  // Writes the buffered bytes out (or hands them over: then the writing
  // may still go on); false when any write so far failed.
  bool flush();
  failure failed() const { return failure::of_errno(error_, step::writing); }

  // Returns a place with room for at least n bytes; the bytes written there
  // count once commit_to() is given their end. Precondition: n <= buffer_size.
  char* reserve(std::size_t n) {
    assert(n <= buffer_size);
    if (static_cast<std::size_t>(end_ - cur_) < n) drain(false);
    return cur_;
  }
  void commit_to(char* p) { cur_ = p; }
  // The end of the room that the last reserve() returned.
  char* reserved_end() const { return end_; }

 private:
  void drain(bool last);

  char* own_;  // the buffer when writing directly
  char* buf_;  // the buffer being filled
  char* cur_;
  char* end_;
  int fd_ = -1;
  int error_ = 0;
  write_behind* behind_ = nullptr;
};

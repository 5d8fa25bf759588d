// Reading an input ahead of the merge, on a second thread.
//
// While the merge scans one buffer of an input, the next ones are being
// read: the system's copying of file data then runs beside the scanning
// instead of between its stretches. Memory stays fixed: buffer_count
// buffers of the size given. A file is read on the caller's thread until a
// stretch of it comes full; from then on the thread reads ahead. The thread
// is started for the first such file and serves one file after another
// until the read_ahead goes (a thread start costs more than reading a small
// file); the interruption handlers never run on it, and stop() takes it off
// a file before the file may be closed or moved to another place.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "streams/text_marks.h"

class read_ahead {
 public:
  // Each buffer holds size bytes read and room bytes more for the caller.
  // Each stretch is also marked (text_marks.h) on the thread that read it.
  read_ahead(std::size_t size, std::size_t room);
  ~read_ahead();
  read_ahead(const read_ahead&) = delete;
  read_ahead& operator=(const read_ahead&) = delete;

  // The next stretch of fd, read on from where the earlier ones ended (the
  // first one from where fd stood at the first call after stop()): buf gets
  // the buffer holding it, which the caller may use until the next call.
  // Returns its length; 0 at the end of the file; -1 with err set when the
  // read failed (after that, the end). marks gets the stretch's marks.
  // Precondition: the same fd as the earlier calls since stop().
  std::ptrdiff_t next(int fd, char*& buf, int& err, stretch_marks& marks);

  // Stops reading the file and forgets what was read ahead: once it
  // returns, nothing touches the file any more, and its position is
  // unspecified. The thread stays, for the next file.
  void stop();

 private:
  static constexpr unsigned buffer_count = 3;

  struct stretch {
    std::ptrdiff_t length = 0;
    stretch_marks marks;
    int err = 0;
  };

  // Reads one stretch of fd into buf.
  stretch read_into(int fd, char* buf) const;

  char* slot(unsigned long long n) { return memory_.get() + (n % buffer_count) * (size_ + room_); }
  void read_loop() noexcept;

  const std::size_t size_;
  const std::size_t room_;
  std::unique_ptr<char[]> memory_;

  std::mutex mutex_;
  std::condition_variable work_or_ending_;  // wakes the reading thread
  std::condition_variable read_one_;        // wakes the merge: a stretch read, or a read over
  // Under the lock while the thread has a file (fd_ >= 0); the caller's
  // alone while it reads here, the thread then looking at fd_ only.
  stretch got_[buffer_count];
  unsigned long long read_ = 0;   // stretches read of the file
  unsigned long long taken_ = 0;  // stretches handed to the caller
  int fd_ = -1;                   // the file read ahead; -1 between files
  bool reading_ = false;          // the thread reads fd_, the lock released
  bool done_ = false;             // the file's end, or a failed read, has been read
  bool large_ = false;            // a stretch of the file came full: the thread reads on
  bool ending_ = false;
  bool tried_ = false;  // a thread was asked for: once, whatever came of it
  std::thread thread_;
};

// Reading an input ahead of the merge, on a second thread.
//
// While the merge scans one buffer of an input, the next ones are being
// read: the system's copying of file data then runs beside the scanning
// instead of between its stretches. Memory stays fixed: buffer_count
// buffers of the size given. The thread is started by the first next(), the
// interruption handlers never run on it, and stop() ends it before the file
// may be closed or moved to another place.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

class read_ahead {
 public:
  // Each buffer holds size bytes read and room bytes more for the caller.
  // Each stretch is also searched for the byte watched, on the same thread.
  read_ahead(std::size_t size, std::size_t room, char watched);
  ~read_ahead() { stop(); }
  read_ahead(const read_ahead&) = delete;
  read_ahead& operator=(const read_ahead&) = delete;

  // The next stretch of fd, read on from where the earlier ones ended (the
  // first one from where fd stood at the first call after stop()): buf gets
  // the buffer holding it, which the caller may use until the next call.
  // Returns its length; 0 at the end of the file; -1 with err set when the
  // read failed (after that, the end). watched_at gets the offset of the
  // stretch's first watched byte, or its length when it holds none.
  // Precondition: the same fd as the earlier calls since stop().
  std::ptrdiff_t next(int fd, char*& buf, int& err, std::ptrdiff_t& watched_at);

  // Ends the thread and forgets what was read ahead; the position of the
  // file is then unspecified.
  void stop();

 private:
  static constexpr unsigned buffer_count = 3;

  struct stretch {
    std::ptrdiff_t length = 0;
    std::ptrdiff_t watched_at = 0;
    int err = 0;
  };

  // Reads one stretch into buf.
  stretch read_into(char* buf) const;

  char* slot(unsigned long long n) { return memory_.get() + (n % buffer_count) * (size_ + room_); }
  void read_loop();

  const std::size_t size_;
  const std::size_t room_;
  const char watched_;
  std::unique_ptr<char[]> memory_;
  int fd_ = -1;

  std::mutex mutex_;
  std::condition_variable room_or_ending_;  // wakes the reading thread
  std::condition_variable read_one_;        // wakes the merge waiting for a stretch
  stretch got_[buffer_count];
  unsigned long long read_ = 0;   // stretches read
  unsigned long long taken_ = 0;  // stretches handed to the caller
  bool ending_ = false;
  bool started_ = false;  // a thread was asked for since stop()
  std::thread thread_;
};

// Reading an input on a second thread, ahead of the merge.
#include "streams/read_ahead.h"

#include "host/io.h"
#include "streams/side_thread.h"

read_ahead::read_ahead(std::size_t size, std::size_t room) : size_(size), room_(room) {}

read_ahead::~read_ahead() {
  std::unique_lock<std::mutex> lock(mutex_);
  end_side_thread(thread_, lock, ending_, work_or_ending_);
}

read_ahead::stretch read_ahead::read_into(int fd, char* buf) const {
  stretch got;
  std::size_t n = 0;
  got.err = io_read(fd, buf, size_, n).error;
  got.length = got.err != 0 ? -1 : static_cast<std::ptrdiff_t>(n);
  if (got.length > 0) got.marks = mark_stretch(buf, got.length);
  return got;
}

// A file is read here until a stretch comes full: a small file, read in a
// stretch or two, costs less so than handed to the thread and back. The
// thread is started for the first file that fills a stretch.
std::ptrdiff_t read_ahead::next(int fd, char*& buf, int& err, stretch_marks& marks) {
  if (!memory_) memory_.reset(new char[buffer_count * (size_ + room_)]);
  if (large_ && !tried_) {
    tried_ = true;
    start_side_thread(thread_, this, &read_ahead::read_loop);
  }
  buf = slot(taken_);
  stretch got;
  if (!large_ || !thread_.joinable()) {
    if (!done_) got = read_into(fd, buf);
    done_ = got.length <= 0;
    large_ = got.length == static_cast<std::ptrdiff_t>(size_);
    read_ = ++taken_;  // the thread, once handed the file, reads into the next buffer
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    if (fd_ < 0) {  // a file for the thread
      fd_ = fd;
      work_or_ending_.notify_one();
    }
    read_one_.wait(lock, [this] { return read_ > taken_; });
    got = got_[taken_ % buffer_count];
    ++taken_;  // the caller's earlier buffer is free again
    if (read_ == taken_) work_or_ending_.notify_one();
  }
  err = got.err;
  marks = got.marks;
  return got.length;
}

void read_ahead::stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  fd_ = -1;
  read_one_.wait(lock, [this] { return !reading_; });
  read_ = taken_ = 0;
  done_ = false;
  large_ = false;
}

// Fills the buffers in turn, keeping clear of the one the caller holds.
// After the end of the file or a failed read nothing more is read: the
// stretches after it are empty, so a caller that asks again sees the end.
// A read that stop() came during is dropped.
void read_ahead::read_loop() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Woken once all that was read ahead is taken (each wake-up costs a
    // system call on both sides), then on until the buffers are full again.
    if (fd_ < 0 || read_ - taken_ >= buffer_count - 1)
      work_or_ending_.wait(lock, [this] { return (fd_ >= 0 && read_ == taken_) || ending_; });
    if (ending_) return;
    stretch got;
    if (!done_) {
      const int fd = fd_;
      char* const buf = slot(read_);
      reading_ = true;
      lock.unlock();
      got = read_into(fd, buf);
      lock.lock();
      reading_ = false;
      if (fd_ < 0) {  // stopped meanwhile: the stretch is not wanted
        read_one_.notify_one();
        continue;
      }
      done_ = got.length <= 0;
    }
    got_[read_ % buffer_count] = got;
    ++read_;
    read_one_.notify_one();
  }
}

// Buffered reading of point-file text: CR bytes skipped, 0x1A ends the text.
#include "text_reader.h"

#include <cassert>
#include <cerrno>
#include <cstring>

#include "io.h"

text_reader::text_reader(std::size_t buffer_size)
    : size_(buffer_size), buf_(new char[buffer_size + 1 + raw_padding]()), pos_(buf_), end_(buf_) {
  assert(buffer_size > 0);
  buf_[0] = '\0';
}

text_reader::~text_reader() {
  close();
  delete[] buf_;
}

bool text_reader::open(const std::string& host_path) {
  close();
  const int fd = io_open_read(host_path);
  if (fd < 0) return false;
  attach(fd);
  owned_ = true;
  return true;
}

void text_reader::attach(int fd) {
  close();
  base_ = 0;
  fd_ = fd;
  owned_ = false;
  ended_ = false;
  error_ = 0;
}

bool text_reader::seek(long long offset) {
  if (fd_ < 0 || !io_seek(fd_, offset)) return false;
  base_ = offset;
  pos_ = end_ = buf_;
  buf_[0] = '\0';
  ended_ = false;
  error_ = 0;
  return true;
}

void text_reader::close() {
  if (fd_ >= 0 && owned_) io_close(fd_);
  fd_ = -1;
  owned_ = false;
  ended_ = true;
  pos_ = end_ = buf_;
  buf_[0] = '\0';
}

// Precondition: every buffered byte is consumed or a CR.
// Reads until a byte other than CR is buffered, or the text ends.
int text_reader::refill_peek() {
  while (!ended_) {
    base_ += end_ - buf_;
    pos_ = end_ = buf_;
    const std::ptrdiff_t n = io_read(fd_, buf_, size_);
    if (n <= 0) {
      if (n < 0) error_ = errno;
      ended_ = true;
      break;
    }
    if (observer_) observer_(observer_ctx_, static_cast<std::size_t>(n));
    char* end = buf_ + n;
    // A 0x1A byte is the end of the text: nothing after it is read.
    if (char* sub = static_cast<char*>(std::memchr(buf_, 0x1A, static_cast<std::size_t>(n)))) {
      end = sub;
      ended_ = true;
    }
    *end = '\0';
    end_ = end;
    pos_ = skip_cr(buf_, end_);
    if (pos_ < end_) return static_cast<unsigned char>(*pos_);
  }
  base_ += end_ - buf_;
  pos_ = end_ = buf_;
  buf_[0] = '\0';
  return -1;
}

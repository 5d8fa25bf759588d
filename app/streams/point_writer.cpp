// The buffered writer of the result's bytes.
#include "streams/point_writer.h"

#include "host/io.h"
#include "streams/write_behind.h"

point_writer::point_writer() : own_(new char[buffer_size]), buf_(own_), cur_(buf_), end_(buf_ + buffer_size) {
  static_assert(buffer_size <= write_behind::buffer_size, "any reservation fits either buffer");
}

point_writer::~point_writer() { delete[] own_; }

void point_writer::attach(int fd, write_behind* behind) {
  fd_ = fd;
  error_ = 0;
  behind_ = behind;
  buf_ = behind_ ? behind_->buffer() : own_;
  cur_ = buf_;
  end_ = buf_ + (behind_ ? write_behind::buffer_size : buffer_size);
}

// Writes the buffer out (or hands it over), resuming after partial writes
// and interruptions. After the first failure nothing more is written and the
// bytes are dropped, so a full disk cannot make the buffer grow.
void point_writer::drain(bool last) {
  const auto n = static_cast<std::size_t>(cur_ - buf_);
  if (error_ == 0 && n > 0) {
    if (behind_) {
      buf_ = behind_->hand_over(buf_, n, last);
      end_ = buf_ + write_behind::buffer_size;
      error_ = behind_->error();
    } else {
      error_ = io_write_all(fd_, buf_, n).error;
    }
  }
  cur_ = buf_;
}

bool point_writer::flush() {
  drain(true);
  return error_ == 0;
}

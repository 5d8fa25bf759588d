// Buffered reading of point-file text: CR bytes skipped, 0x1A ends the text.
#include "streams/text_reader.h"

#include <cassert>
#include <cstring>

#include "host/io.h"

text_reader::text_reader(std::size_t buffer_size)
    : size_(buffer_size), own_(new char[buffer_size + 1 + raw_padding]()), buf_(own_), pos_(buf_), end_(buf_) {
  assert(buffer_size > 0);
  buf_[0] = '\0';
}

text_reader::~text_reader() {
  close();
  delete[] own_;
}

failure text_reader::open(const std::string& host_path) {
  close();
  int fd = -1;
  if (const failure f = io_open_read(host_path, fd)) return f;
  attach(fd);
  owned_ = true;
  return {};
}

// Forgets what is buffered and read ahead, back to the own buffer; the
// reading thread, if any, no longer touches the file (it stays for the next
// one). A reader that no longer prefetches lets its read_ahead go, and its
// thread ends; one that does makes it at its next read.
void text_reader::restart() {
  if (ahead_) ahead_->stop();
  if (!prefetch_) ahead_.reset();
  buf_ = own_;
  pos_ = end_ = buf_;
  buf_[0] = '\0';
}

void text_reader::attach(int fd) {
  close();
  base_ = 0;
  fd_ = fd;
  owned_ = false;
  ended_ = false;
  at_start_ = true;
  mark_skipped_ = false;
  error_ = 0;
  bare_cr_ = bare_cr_watch();
}

void text_reader::adopt(int fd) {
  attach(fd);
  owned_ = true;
}

text_reader::held& text_reader::held::operator=(held&& o) noexcept {
  if (this != &o) {
    if (fd >= 0 && owned) io_close(fd);
    fd = std::exchange(o.fd, -1);
    owned = o.owned;
    bytes = std::move(o.bytes);
    offset = o.offset;
    ended = o.ended;
    at_start = o.at_start;
    bare_cr = o.bare_cr;
  }
  return *this;
}

text_reader::held::~held() {
  if (fd >= 0 && owned) io_close(fd);
}

text_reader::held text_reader::release() {
  assert(!ahead_);
  held h;
  h.fd = fd_;
  h.owned = owned_;
  h.bytes.assign(pos_, end_);
  h.offset = offset();
  h.ended = ended_;
  h.at_start = at_start_;
  h.bare_cr = bare_cr_;
  owned_ = false;  // the descriptor is the held place's now
  close();
  return h;
}

void text_reader::resume(held&& h) {
  assert(h.bytes.size() <= size_);
  attach(h.fd);
  owned_ = h.owned;
  h.fd = -1;
  std::memcpy(buf_, h.bytes.data(), h.bytes.size());
  end_ = buf_ + h.bytes.size();
  buf_[h.bytes.size()] = '\0';
  base_ = h.offset;
  ended_ = h.ended;
  at_start_ = h.at_start;
  mark_skipped_ = false;
  bare_cr_ = h.bare_cr;
}

bool text_reader::seek(long long offset) {
  // A file that cannot seek (a pipe) keeps what is buffered and read ahead.
  long long at = 0;
  if (fd_ < 0 || io_offset(fd_, at)) return false;
  restart();
  if (io_seek(fd_, offset)) return false;
  base_ = offset;
  ended_ = false;
  at_start_ = offset == 0;
  error_ = 0;
  if (offset == 0) {
    bare_cr_ = bare_cr_watch();
  } else {
    bare_cr_.forget();
  }
  return true;
}

void text_reader::close() {
  restart();  // the reading thread leaves the file before it is closed
  if (fd_ >= 0 && owned_) io_close(fd_);
  fd_ = -1;
  owned_ = false;
  ended_ = true;
}

// The length of the byte-order mark that the text's first read (n bytes in
// buf_) begins with: 3 or 0. A read that brought fewer bytes than the mark
// has, all of them the mark's, is followed by more reads until it is
// decided (a pipe may bring one byte at a time); n grows by what they bring.
std::ptrdiff_t text_reader::mark_length(std::ptrdiff_t& n) {
  static const char mark[] = "\xEF\xBB\xBF";
  at_start_ = false;
  const auto begins_mark = [&] { return std::memcmp(buf_, mark, static_cast<std::size_t>(n < 3 ? n : 3)) == 0; };
  while (n < 3 && !ahead_ && begins_mark()) {
    // A buffer smaller than the mark reads on into its padding.
    const std::size_t room = size_ > std::size_t(n) ? size_ - std::size_t(n) : std::size_t(3 - n);
    std::size_t more = 0;
    const int err = io_read(fd_, buf_ + n, room, more).error;
    if (err != 0 || more == 0) {
      error_ = err;
      ended_ = true;
      break;
    }
    n += static_cast<std::ptrdiff_t>(more);
  }
  return n >= 3 && begins_mark() ? 3 : 0;
}

// Precondition: every buffered byte is consumed or a CR.
// Reads until a byte other than CR is buffered, or the text ends.
int text_reader::refill_peek() {
  while (!ended_) {
    base_ += end_ - buf_;
    std::ptrdiff_t n;
    stretch_marks marks;  // made by the reading thread when there is one
    int err = 0;
    if (prefetch_ && !ahead_) ahead_.reset(new read_ahead(read_ahead_size, 1 + raw_padding));
    if (ahead_) {
      n = ahead_->next(fd_, buf_, err, marks);
    } else {
      std::size_t got = 0;
      err = io_read(fd_, buf_, size_, got).error;
      n = err != 0 ? -1 : static_cast<std::ptrdiff_t>(got);
    }
    pos_ = end_ = buf_;
    if (n <= 0) {
      if (n < 0) error_ = err;
      ended_ = true;
      bare_cr_.take(stretch_marks(), base_, -1);
      break;
    }
    const std::ptrdiff_t mark = at_start_ ? mark_length(n) : 0;
    if (!ahead_) marks = mark_stretch(buf_, n);
    // A 0x1A byte is the end of the text: nothing after it is read.
    const std::ptrdiff_t sub = marks.end;
    if (observer_) observer_(observer_ctx_, buf_, static_cast<std::size_t>(sub), static_cast<std::size_t>(n));
    mark_skipped_ = mark_skipped_ || mark > 0;
    bare_cr_.take(marks, base_, sub > 0 ? static_cast<unsigned char>(buf_[0]) : -1);
    char* end = buf_ + sub;
    if (sub < n) ended_ = true;
    *end = '\0';
    end_ = end;
    pos_ = skip_cr(buf_ + (mark < sub ? mark : sub), end_);
    if (pos_ < end_) return static_cast<unsigned char>(*pos_);
  }
  base_ += end_ - buf_;
  pos_ = end_ = buf_;
  buf_[0] = '\0';
  return -1;
}

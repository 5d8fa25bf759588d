// Point-file records: the scanning of fields and the writing of records.
#include "point_file.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "scan.h"
#include "value_text.h"

namespace {

// A scanning position held in locals, so the hot loops keep it in registers
// instead of reloading the reader's members after every store. The reader is
// brought up to date when the cursor goes away.
class cursor {
 public:
  explicit cursor(text_reader& in) : in_(in), p_(in.pos()), lim_(in.limit()) {}
  ~cursor() { in_.advance_to(p_); }
  cursor(const cursor&) = delete;
  cursor& operator=(const cursor&) = delete;

  // The next byte, or -1 at the end of the text.
  int peek() {
    if (p_ < lim_) return static_cast<unsigned char>(*p_);
    in_.advance_to(p_);
    const int c = in_.peek();
    p_ = in_.pos();
    lim_ = in_.limit();
    return c;
  }
  void skip() { ++p_; }

 private:
  text_reader& in_;
  const char* p_;
  const char* lim_;
};

// Reads the letters of word; true when all of them were there.
bool scan_word(cursor& in, const char* word) {
  for (; *word; ++word) {
    if (in.peek() != *word) return false;
    in.skip();
  }
  return true;
}

// A value: optional sign, digits with at most one point, optional exponent;
// or +INF, -INF, +NAN, -NAN.
//
// Preconditions kept while scanning:
//  - digits holds the first at most 19 significant digits (< 10^19 fits 64
//    bits); later digits only move the decimal exponent;
//  - the value read so far is digits * 10^scale.
bool scan_value(cursor& in, double& value) {
  int c = skip_space(in);
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in.skip();
    c = in.peek();
    // Step 0: the words, only directly after an explicit sign.
    if (c == 'I' || c == 'N') {
      if (!scan_word(in, c == 'I' ? "INF" : "NAN")) return false;
      const double magnitude = c == 'I' ? HUGE_VAL : std::nan("");
      value = negative ? -magnitude : magnitude;
      return true;
    }
  }

  // Step 1: integer digits. Leading zeros are not significant.
  std::uint64_t digits = 0;
  int significant = 0;
  std::int64_t scale = 0;
  bool any_digit = false;
  for (; is_digit(c); in.skip(), c = in.peek()) {
    any_digit = true;
    if (significant < 19) {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      significant += digits != 0;
    } else {
      ++scale;
    }
  }

  // Step 2: fraction digits; each one kept moves the scale down.
  if (c == '.') {
    in.skip();
    c = in.peek();
    for (; is_digit(c); in.skip(), c = in.peek()) {
      any_digit = true;
      if (significant < 19) {
        digits = digits * 10 + static_cast<unsigned>(c - '0');
        significant += digits != 0;
        --scale;
      }
    }
  }
  if (!any_digit) return false;

  // Step 3: the exponent. An e without digits counts as exponent 0; a huge
  // exponent saturates, far beyond any double's range either way.
  if (c == 'e' || c == 'E') {
    in.skip();
    c = in.peek();
    bool exp_negative = false;
    if (c == '+' || c == '-') {
      exp_negative = c == '-';
      in.skip();
      c = in.peek();
    }
    std::int64_t exponent = 0;
    for (; is_digit(c); in.skip(), c = in.peek()) {
      if (exponent < 100000000) exponent = exponent * 10 + (c - '0');
    }
    scale += exp_negative ? -exponent : exponent;
  }

  value = decimal_to_double(digits, scale, negative);
  return true;
}

}  // namespace

int read_record(text_reader& reader, std::int32_t& code, double& first, double& second) {
  cursor in(reader);
  if (scan_int32(in, code) != int_scan::ok) return 0;  // includes codes out of range
  if (!scan_value(in, first)) return 1;
  if (!scan_value(in, second)) return 2;
  return 3;
}

point_writer::point_writer() : buf_(new char[buffer_size]), cur_(buf_), end_(buf_ + buffer_size) {}

point_writer::~point_writer() { delete[] buf_; }

void point_writer::attach(int fd) {
  fd_ = fd;
  error_ = 0;
  cur_ = buf_;
}

// Writes the buffer out, resuming after partial writes and interruptions.
// After the first failure nothing more is written and the bytes are dropped,
// so a full disk cannot make the buffer grow.
void point_writer::drain() {
  const char* p = buf_;
  while (p < cur_ && error_ == 0) {
    const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(cur_ - p));
    if (n > 0) {
      p += n;
    } else if (n < 0 && errno != EINTR) {
      error_ = errno;
    } else if (n == 0) {
      error_ = EIO;
    }
  }
  cur_ = buf_;
}

bool point_writer::flush() {
  drain();
  return error_ == 0;
}

void point_writer::write(const char* s, std::size_t n) {
  while (n > 0) {
    std::size_t room = static_cast<std::size_t>(end_ - cur_);
    if (room == 0) {
      drain();
      room = buffer_size;
    }
    const std::size_t len = n < room ? n : room;
    std::memcpy(cur_, s, len);
    cur_ += len;
    s += len;
    n -= len;
  }
}

void write_record(point_writer& out, std::int32_t code, double first, double second) {
  constexpr std::size_t longest = 11 + 1 + value_text_max + 1 + value_text_max + 2;
  char* p = out.reserve(longest);
  p = format_code(p, code);
  *p++ = '\t';
  p = format_value(p, first);
  *p++ = '\t';
  p = format_value(p, second);
  *p++ = '\r';
  *p++ = '\n';
  out.commit_to(p);
}

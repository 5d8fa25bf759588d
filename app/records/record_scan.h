// The general scanner: any record the recognisers of record_fields.h
// leave, read from the reader (reader_cursor) or from the buffered bytes
// alone (raw_cursor, for the copy loop): codes a character at a time, values
// with read_value (value_syntax.h). Its syntax is the one read_record states
// (record_read.h); the recognisers are held to it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "records/point_code.h"
#include "records/scan.h"
#include "records/value_syntax.h"
#include "records/value_text.h"
#include "streams/text_reader.h"

// A scanning position held in locals, so the hot loops keep it in registers
// instead of reloading the reader's members after every store. The reader is
// brought up to date when the cursor goes away. A Source for read_value (value_syntax.h):
// its digits end at the reader's NUL sentinel at the latest.
class reader_cursor {
 public:
  static constexpr bool skips_cr = true;
  explicit reader_cursor(text_reader& in) : in_(in), p_(in.pos()), lim_(in.limit()) {}
  ~reader_cursor() { in_.advance_to(p_); }
  reader_cursor(const reader_cursor&) = delete;
  reader_cursor& operator=(const reader_cursor&) = delete;

  // The next byte other than CR, or -1 at the end of the text.
  int peek() {
    p_ = text_reader::skip_cr(p_, lim_);
    if (p_ < lim_) return static_cast<unsigned char>(*p_);
    in_.advance_to(p_);
    const int c = in_.peek();
    p_ = in_.pos();
    lim_ = in_.limit();
    return c;
  }
  void skip() { ++p_; }
  const char* at() const { return p_; }
  void move_to(const char* p) { p_ = p; }

 private:
  text_reader& in_;
  const char* p_;
  const char* lim_;
};

// A bounded view of the buffered bytes for the scanners below, for the copy
// loop: CR bytes are skipped as the reader does, and the end of the
// buffered bytes reads as -1 and is remembered, since the text may go on
// after a refill (a field that reaches it is then not known in full).
// A Source for read_value (value_syntax.h): its digits end at the NUL sentinel at limit.
class raw_cursor {
 public:
  static constexpr bool skips_cr = true;
  raw_cursor(const char* p, const char* limit) : p_(p), lim_(limit) {}
  int peek() {
    while (p_ < lim_ && *p_ == '\r') ++p_;
    if (p_ < lim_) return static_cast<unsigned char>(*p_);
    at_limit_ = true;
    return -1;
  }
  void skip() { ++p_; }
  const char* at() const { return p_; }
  void move_to(const char* p) { p_ = p; }
  const char* pos() const { return p_; }
  bool at_limit() const { return at_limit_; }

 private:
  const char* p_;
  const char* lim_;
  bool at_limit_ = false;
};

// The scanners take a reader_cursor or a raw_cursor.

// A code: an optional sign and decimal digits, as many as there are. The
// significant digits are gathered in a local buffer, so a code too long to
// hold leaves the destination as it was (its digits are still consumed).
template <class Source>
bool scan_code(Source& in, point_code& code) {
  int c;
  bool signed_explicitly;
  const bool negative = skip_space_and_sign(in, c, signed_explicitly);
  if (!is_digit(c)) return false;
  for (; c == '0'; in.skip(), c = in.peek()) continue;
  char digits[point_code::max_digits];
  std::size_t count = 0;
  bool too_long = false;
  for (; is_digit(c); in.skip(), c = in.peek()) {
    if (count < sizeof digits) {
      digits[count++] = static_cast<char>(c);
    } else {
      too_long = true;
    }
  }
  if (too_long) return false;
  code.assign(negative, digits, count);
  return true;
}

// The double a value read by read_value stands for: the number's nearest
// double (decimal_to_double), or the infinity or NaN of its sign.
inline double value_double(value_form form, const decimal& d) {
  switch (form) {
    case value_form::infinity:
      return d.negative ? -HUGE_VAL : HUGE_VAL;
    case value_form::nan:
      return d.negative ? -std::nan("") : std::nan("");
    default:
      return decimal_to_double(d.digits, d.exp10, d.negative);
  }
}

// A value, as read_value reads it (value_syntax.h).
template <class Source>
TILVARO_INLINE bool scan_value(Source& in, double& value) {
  decimal d;
  const value_form form = read_value(in, d);
  if (form == value_form::none) return false;
  value = value_double(form, d);
  return true;
}

// The general scanner: any record the recognisers of record_fields.h
// leave, read a character at a time, from the reader (reader_cursor) or from the
// buffered bytes alone (raw_cursor, for the copy loop). Its syntax is the
// one read_record states (record_read.h); the recognisers are held to it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "records/point_code.h"
#include "records/scan.h"
#include "records/value_text.h"
#include "streams/text_reader.h"

// A scanning position held in locals, so the hot loops keep it in registers
// instead of reloading the reader's members after every store. The reader is
// brought up to date when the cursor goes away.
class reader_cursor {
 public:
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

 private:
  text_reader& in_;
  const char* p_;
  const char* lim_;
};

// A bounded view of the buffered bytes for the scanners below, for the copy
// loop: CR bytes are skipped as the reader does, and the end of the
// buffered bytes reads as -1 and is remembered, since the text may go on
// after a refill (a field that reaches it is then not known in full).
class raw_cursor {
 public:
  raw_cursor(const char* p, const char* limit) : p_(p), lim_(limit) {}
  int peek() {
    while (p_ < lim_ && *p_ == '\r') ++p_;
    if (p_ < lim_) return static_cast<unsigned char>(*p_);
    at_limit_ = true;
    return -1;
  }
  void skip() { ++p_; }
  const char* pos() const { return p_; }
  bool at_limit() const { return at_limit_; }

 private:
  const char* p_;
  const char* lim_;
  bool at_limit_ = false;
};

// The scanners take a reader_cursor or a raw_cursor.
// Reads the letters of word; true when all of them were there.
template <class Source>
bool scan_word(Source& in, const char* word) {
  for (; *word; ++word) {
    if (in.peek() != *word) return false;
    in.skip();
  }
  return true;
}

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

// A value: optional sign, digits with at most one point, optional exponent;
// or +INF, -INF, +NAN, -NAN.
//
// Preconditions kept while scanning:
//  - digits holds the first at most 19 significant digits (< 10^19 fits 64
//    bits); later digits only move the decimal exponent;
//  - the value read so far is digits * 10^scale.
template <class Source>
bool scan_value(Source& in, double& value) {
  int c;
  bool signed_explicitly;
  const bool negative = skip_space_and_sign(in, c, signed_explicitly);
  if (signed_explicitly) {
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


// The syntax of a value, in one place: read_value takes a value's text apart
// into its sign, its first significant digits and a decimal exponent. The
// general scanner (record_scan.h) and the copy loop's recogniser of values
// (record_fields.h) both read values with it, so that they cannot disagree.
//
// The syntax: white space, then an optional sign; then digits with at most
// one decimal point, at least one digit in all, and an optional exponent:
// 'e' or 'E', an optional sign and digits (an 'e' without digits is exponent
// 0). Or, directly after an explicit sign, the words INF and NAN. The value
// ends at the first character that cannot continue it, which stays unread.
//
// A Source is text in memory, read through a position:
//   static constexpr bool skips_cr;  // see below
//   int peek();                       // the next byte, -1 at the end of the text
//   void skip();                      // past the byte peek() returned
//   const char* at() const;           // where that byte stands
//   void move_to(const char* p);      // p within the bytes peek() has shown
// Runs of digits are read eight at a time from a position: the text from
// any position before its end must be readable eight bytes on, and end, at
// the latest, at a byte that is neither a digit nor a CR (the NUL sentinel of
// the buffered text), so that no digit past the text is taken.
//
// A Source that skips_cr skips CR bytes in peek() wherever they stand (so a
// bare CR joins the text on both sides, as the reader has it), and may move
// to other text at the end of its bytes (a refill): read_value asks it for
// the next byte after every run. Any other Source sees a CR as a byte that
// ends the value, and is read straight from memory.
#pragma once

#include <cstdint>

#include "host/compiler.h"
#include "records/digit_chunks.h"
#include "records/scan.h"

// A value's text as read_value takes it apart: the value is
// (negative ? -1 : 1) * digits * 10^exp10.
struct decimal {
  std::uint64_t digits;  // its first at most 19 significant digits: < 10^19
  std::int64_t exp10;
  bool negative;
  bool dropped;  // more than 19 significant digits: the later ones are not in digits
};

// What read_value found.
enum class value_form { none, number, infinity, nan };

// The exponent magnitude read_value stops counting at: a larger one counts
// as this one, and either way it puts the value far outside a double's
// range (the text would need some 10^9 digits to bring it back).
constexpr std::int64_t exponent_ceiling = 1000000000;

namespace value_syntax {

// The byte at p, after CRs for a Source that skips them (p then moves past
// them, or to where a refill put the text).
template <class Source>
TILVARO_INLINE int next(Source& in, const char*& p) {
  if constexpr (Source::skips_cr) {
    in.move_to(p);
    const int c = in.peek();
    p = in.at();
    return c;
  } else {
    return static_cast<unsigned char>(*p);
  }
}

// The end of the run of '0' bytes at p, eight bytes at a time.
TILVARO_INLINE const char* zeros_end(const char* p) {
  for (;;) {
    const std::uint64_t not_zero = load8(p) ^ 0x3030303030303030u;  // a '0' byte becomes 0
    if (not_zero != 0) return p + (lowest_bit(not_zero) >> 3);
    p += 8;
  }
}

// The n digits of w when they go past the 19th significant digit: the first
// of them up to it are appended to digits, the rest dropped. Out of line, so
// that the common case is not computed alongside it.
template <bool fraction>
TILVARO_COLD void take_past_19(std::uint64_t w, int n, decimal& d, int& kept) {
  const int k = 19 - kept;
  if (k > 0) d.digits = d.digits * integer_powers_of_ten[k] + digits_value(w, k);
  kept = 19;
  d.exp10 += fraction ? -k : n - k;
  d.dropped = true;
}

// The run of digits at p (none or more), eight at a time, after any leading
// zeros: appended to digits, kept counting them. Dropped integer digits move
// exp10 up, kept fraction digits move it down. Returns the end of the run.
//
// checked: up to 19 significant digits in all are kept, and the later ones
// dropped. n digits stand in the word; when kept + n <= 19 they all fit, and
// digits * 10^n + their value stays below 10^19.
// Not checked: every digit is appended (digits wraps past 10^19) and kept
// counts them all; the caller reads the text again, checked, when kept ends
// above 19.
template <bool fraction, bool checked>
TILVARO_INLINE const char* take_run(const char* p, decimal& d, int& kept) {
  for (;;) {
    const std::uint64_t w = load8(p);
    const int n = digit_run(w);
    if (n == 0) return p;
    if (!checked || kept + n <= 19) {
      d.digits = d.digits * integer_powers_of_ten[n] + digits_value(w, n);
      kept += n;
      if (fraction) d.exp10 -= n;
    } else {
      take_past_19<fraction>(w, n, d, kept);
    }
    p += n;
    if (n < 8) return p;
  }
}

// The run of exponent digits at p, added to e, which saturates at
// exponent_ceiling. Returns the end of the run.
TILVARO_INLINE const char* exponent_run(const char* p, std::int64_t& e) {
  for (;;) {
    const std::uint64_t w = load8(p);
    const int n = digit_run(w);
    if (n == 0) return p;
    e = e * integer_powers_of_ten[n] + digits_value(w, n);  // below 10^9 * 10^8 + 10^8
    if (e > exponent_ceiling) e = exponent_ceiling;
    p += n;
    if (n < 8) return p;
  }
}

// Zeros before the first significant digit, at p where c = '0' stands: they
// leave digits 0, and in the fraction each one moves exp10 down. Returns the
// character after them.
template <bool fraction, class Source>
TILVARO_INLINE int skip_zeros(Source& in, const char*& p, decimal& d) {
  int c;
  do {
    const char* end = zeros_end(p);
    if (fraction) d.exp10 -= end - p;
    p = end;
    c = next(in, p);
  } while (c == '0');
  return c;
}

// The digits at p, where c stands (a Source that skips CRs may join runs
// across them). Returns the character after them.
template <bool fraction, bool checked, class Source>
TILVARO_INLINE int take_digits(Source& in, const char*& p, int c, decimal& d, int& kept) {
  if constexpr (Source::skips_cr) {
    while (is_digit(c)) {
      p = take_run<fraction, checked>(p, d, kept);
      c = next(in, p);
    }
    return c;
  } else {
    p = take_run<fraction, checked>(p, d, kept);
    return next(in, p);
  }
}

// The exponent's digits at p, where c stands, into e. Returns the character
// after them.
template <class Source>
TILVARO_INLINE int exponent_digits(Source& in, const char*& p, int c, std::int64_t& e) {
  if constexpr (Source::skips_cr) {
    while (is_digit(c)) {
      p = exponent_run(p, e);
      c = next(in, p);
    }
    return c;
  } else {
    p = exponent_run(p, e);
    return next(in, p);
  }
}

// After an explicit sign, at c: the rest of INF or NAN.
template <class Source>
TILVARO_INLINE value_form read_word(Source& in, int c) {
  const char* word = c == 'I' ? "INF" : "NAN";
  for (const char* w = word; *w; ++w) {
    if (in.peek() != *w) return value_form::none;
    in.skip();
  }
  return c == 'I' ? value_form::infinity : value_form::nan;
}

template <class Source>
value_form read_again(Source& in, decimal& d);

// read_value's steps. checked: whether the digits are counted against the
// 19 as they come (always for a Source that skips CRs). Without, every digit
// is taken and counted, and when there are more than 19 the text is read
// again, checked, from its start (a Source that does not skip CRs has not
// moved). That is for speed on the copy loop's common values: with the check
// at every word in that one pass too, copy_run took 8 % more instructions a
// record on the sci form of gen_points (callgrind, 2 MB: 39.2 million
// against 36.2), 5 % more on varied; the second reading costs more only
// where values of more than 19 digits are common (the long form: 46.3
// million against 36.5).
template <bool checked, class Source>
TILVARO_INLINE value_form read_steps(Source& in, decimal& d) {
  const char* p = in.at();
  int c = next(in, p);

  // Step 1: white space and the sign; the words, only directly after an
  // explicit sign.
  while (is_space(c)) c = next(in, ++p);
  d = {0, 0, c == '-', false};
  if (c == '-' || c == '+') {
    c = next(in, ++p);
    if (c == 'I' || c == 'N') {
      in.move_to(p);
      return read_word(in, c);
    }
  }

  // Step 2: integer digits. Leading zeros are not significant.
  bool any_digit = is_digit(c);
  int kept = 0;
  if (c == '0') c = skip_zeros<false>(in, p, d);
  c = take_digits<false, checked>(in, p, c, d, kept);

  // Step 3: fraction digits; zeros before the first significant digit only
  // move the exponent.
  if (c == '.') {
    c = next(in, ++p);
    any_digit = any_digit || is_digit(c);
    if (c == '0' && kept == 0) c = skip_zeros<true>(in, p, d);
    c = take_digits<true, checked>(in, p, c, d, kept);
  }
  if (!any_digit) {
    in.move_to(p);
    return value_form::none;
  }
  if constexpr (!checked) {
    if (kept > 19) return read_again(in, d);
  }

  // Step 4: the exponent: an optional sign, digits (none: 0).
  if (c == 'e' || c == 'E') {
    c = next(in, ++p);
    const bool negative = c == '-';
    if (c == '-' || c == '+') c = next(in, ++p);
    std::int64_t e = 0;
    exponent_digits(in, p, c, e);
    d.exp10 += negative ? -e : e;
  }
  in.move_to(p);
  return value_form::number;
}

// The text read again, checked, from where in stands (it has not moved).
// Out of line: values of more than 19 significant digits.
template <class Source>
TILVARO_COLD value_form read_checked(Source& in, decimal& d) {
  return read_steps<true>(in, d);
}

// The same through copies, so that in and d need not leave registers on the
// common path. For a Source that does not skip CRs (a position alone).
template <class Source>
TILVARO_INLINE value_form read_again(Source& in, decimal& d) {
  Source again = in;
  decimal exact;
  const value_form form = read_checked(again, exact);
  d = exact;
  in.move_to(again.at());
  return form;
}

}  // namespace value_syntax

// Reads a value from in, after white space. Returns what it found, and for
// a number its parts in d; d.negative also gives the sign of INF and NAN.
// The source stands after the value's text (after what was consumed of it
// when none is returned: the white space, the sign, a point).
//
// Invariants while the digits are read:
//  - digits holds the first kept <= 19 significant digits (< 10^19 fits 64
//    bits), leading zeros not counted;
//  - the text read so far is digits * 10^exp10, up to the dropped digits.
template <class Source>
TILVARO_INLINE value_form read_value(Source& in, decimal& d) {
  return value_syntax::read_steps<Source::skips_cr>(in, d);
}

// Buffered text read from p on, as a contiguous Source without a limit: its
// text ends at the NUL sentinel (peek() returns 0 there, which continues no
// value). With skip_cr, CR bytes are skipped as the reader skips them;
// without, a CR is a byte like any other, which ends a value: the copy
// loop's quick view, whose caller reads the field again with skip_cr when
// text that could go on with the value stands after the CRs.
template <bool skip_cr>
class text_cursor {
 public:
  static constexpr bool skips_cr = skip_cr;
  explicit text_cursor(const char* p) : p_(p) {}
  int peek() {
    if (skip_cr) {
      while (*p_ == '\r') ++p_;
    }
    return static_cast<unsigned char>(*p_);
  }
  void skip() { ++p_; }
  const char* at() const { return p_; }
  void move_to(const char* p) { p_ = p; }

 private:
  const char* p_;
};

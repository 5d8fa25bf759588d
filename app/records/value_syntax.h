// The syntax of a value, in one place: read_value takes a value's text apart
// into its sign, its first significant digits and a decimal exponent. The
// general scanner (record_scan.h) and the copy loop's recogniser of values
// (record_fields.h) both read values with it, so that they cannot disagree.
//
// The syntax: white space, then an optional sign; then digits with at most
// one decimal point, at least one digit in all, and an optional exponent:
// 'e' or 'E', an optional sign and digits (an 'e' without digits is exponent
// 0). Or, directly after an explicit sign, the words INF and NAN. CR bytes
// are not seen: the source skips them wherever they stand, so a bare CR
// joins the text on both sides. The value ends at the first character that
// cannot continue it, which stays unread.
//
// A Source has int peek() (the next byte other than CR, -1 at the end of the
// text) and void skip(). A Source whose text lies in memory also says
//   static constexpr bool contiguous = true;
//   const char* at() const;  // where the byte peek() returned stands
//   void move_to(const char* p);
// and then a run of digits is read eight at a time from at(): the text from
// there must be readable eight bytes on, and end, at the latest, at a byte
// that is neither a digit nor a CR (the NUL sentinel of the buffered text),
// so that no digit past the text is taken. move_to(p) moves to a p within
// the digits just seen. Any other Source is read a byte at a time.
#pragma once

#include <cstdint>
#include <type_traits>

#include "compiler.h"
#include "digit_chunks.h"
#include "scan.h"

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

template <class Source, class = void>
struct is_contiguous : std::false_type {};
template <class Source>
struct is_contiguous<Source, std::enable_if_t<Source::contiguous>> : std::true_type {};

// Zeros before the first significant digit, from c on: they leave digits 0,
// and in the fraction each one moves exp10 down. Returns the character after
// them.
template <bool fraction, class Source>
TILVARO_INLINE int skip_zeros(Source& in, int c, decimal& d) {
  while (c == '0') {
    if constexpr (is_contiguous<Source>::value) {
      const char* p = in.at();
      const std::uint64_t not_zero = load8(p) ^ 0x3030303030303030u;  // a '0' byte becomes 0
      const int n = not_zero == 0 ? 8 : lowest_bit(not_zero) >> 3;
      if (fraction) d.exp10 -= n;
      in.move_to(p + n);
    } else {
      if (fraction) --d.exp10;
      in.skip();
    }
    c = in.peek();
  }
  return c;
}

// The run of digits from c on, after any leading zeros: the first of them
// up to 19 significant digits in all (kept counts them) are appended to
// digits. Dropped integer digits move exp10 up, kept fraction digits move it
// down. Returns the character after the run.
//
// Contiguous text: eight bytes at a time. n digits stand in the word, of
// which k fit: digits * 10^k + their value is below 10^19, as kept + k <= 19.
template <bool fraction, class Source>
TILVARO_INLINE int take_digits(Source& in, int c, decimal& d, int& kept) {
  while (is_digit(c)) {
    if constexpr (is_contiguous<Source>::value) {
      const char* p = in.at();
      const std::uint64_t w = load8(p);
      const int n = digit_run(w);
      const int k = n < 19 - kept ? n : 19 - kept;
      if (k > 0) d.digits = d.digits * integer_powers_of_ten[k] + digits_value(w, k);
      kept += k;
      d.exp10 += fraction ? -k : n - k;
      d.dropped = d.dropped || n > k;
      in.move_to(p + n);
    } else {
      if (kept < 19) {
        d.digits = d.digits * 10 + static_cast<unsigned>(c - '0');
        ++kept;
        d.exp10 -= fraction;
      } else {
        d.dropped = true;
        d.exp10 += !fraction;
      }
      in.skip();
    }
    c = in.peek();
  }
  return c;
}

// After the 'e': an optional sign and digits, added to exp10. Their value
// saturates at exponent_ceiling. Returns the character after them.
template <class Source>
TILVARO_INLINE int add_exponent(Source& in, decimal& d) {
  int c = in.peek();
  const bool negative = c == '-';
  if (c == '-' || c == '+') {
    in.skip();
    c = in.peek();
  }
  std::int64_t e = 0;
  while (is_digit(c)) {
    if constexpr (is_contiguous<Source>::value) {
      const char* p = in.at();
      const std::uint64_t w = load8(p);
      const int n = digit_run(w);
      e = e * integer_powers_of_ten[n] + digits_value(w, n);  // below 10^9 * 10^8 + 10^8
      in.move_to(p + n);
    } else {
      e = e * 10 + (c - '0');
      in.skip();
    }
    if (e > exponent_ceiling) e = exponent_ceiling;
    c = in.peek();
  }
  d.exp10 += negative ? -e : e;
  return c;
}

// After an explicit sign, at c: the rest of INF or NAN.
template <class Source>
value_form read_word(Source& in, int c) {
  const char* word = c == 'I' ? "INF" : "NAN";
  for (const char* w = word; *w; ++w) {
    if (in.peek() != *w) return value_form::none;
    in.skip();
  }
  return c == 'I' ? value_form::infinity : value_form::nan;
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
  // Step 1: white space and the sign; the words, only directly after an
  // explicit sign.
  int c;
  bool signed_explicitly;
  d = {0, 0, skip_space_and_sign(in, c, signed_explicitly), false};
  if (signed_explicitly && (c == 'I' || c == 'N')) return value_syntax::read_word(in, c);

  // Step 2: integer digits. Leading zeros are not significant.
  bool any_digit = is_digit(c);
  int kept = 0;
  c = value_syntax::skip_zeros<false>(in, c, d);
  c = value_syntax::take_digits<false>(in, c, d, kept);

  // Step 3: fraction digits; zeros before the first significant digit only
  // move the exponent.
  if (c == '.') {
    in.skip();
    c = in.peek();
    any_digit = any_digit || is_digit(c);
    if (kept == 0) c = value_syntax::skip_zeros<true>(in, c, d);
    c = value_syntax::take_digits<true>(in, c, d, kept);
  }
  if (!any_digit) return value_form::none;

  // Step 4: the exponent.
  if (c == 'e' || c == 'E') {
    in.skip();
    value_syntax::add_exponent(in, d);
  }
  return value_form::number;
}

// Buffered text read from p on, as a contiguous Source: the copy loop's
// view, without a limit, as its text ends at the NUL sentinel (peek()
// returns 0 there, which continues no value).
class text_cursor {
 public:
  static constexpr bool contiguous = true;
  explicit text_cursor(const char* p) : p_(p) {}
  int peek() {
    while (*p_ == '\r') ++p_;
    return static_cast<unsigned char>(*p_);
  }
  void skip() { ++p_; }
  const char* at() const { return p_; }
  void move_to(const char* p) { p_ = p; }

 private:
  const char* p_;
};

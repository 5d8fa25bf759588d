// Values as text: the exact conversion between decimal digits and doubles,
// and the one way a value is written.
#pragma once

#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "records/digit_chunks.h"
#include "records/digit_vectors.h"

// The room format_value needs: its text is at most 48 bytes, and the bytes
// after the text up to this size may be used as scratch.
constexpr std::size_t value_text_max = 64;

// The room format_code needs: its text is at most 11 bytes, and the bytes
// after the text up to this size may be used as scratch.
constexpr std::size_t code_text_max = 16;

// Writes v in the point-file form and returns the end of the text (no NUL):
//  - fixed notation with exactly six decimals, rounded from the exact binary
//    value to nearest, exact ties to the even digit;
//  - a minus sign only when v is negative and its rounding is not zero
//    (-0.0 and -0.0000004 give 0.000000);
//  - from 1e13 up at most 19 significant digits come from v, rounded to
//    nearest; every further position is 0 (so the 20th is always 0);
//  - from 1e40 up the exponent form d.ddd...e+XX with 39 digits after the
//    point and at least two exponent digits;
//  - +INF, -INF, +NAN, -NAN for infinities and NaNs.
// Precondition: out has room for value_text_max bytes.
inline char* format_value(char* out, double v);

// Writes a code in decimal (a minus sign when negative, no padding) and
// returns the end of the text. Precondition: out has room for code_text_max
// bytes.
inline char* format_code(char* out, std::int32_t code);

// format_value and format_code without their inline common case, for the
// values those leave to them (and the same text for any other).
char* format_value_rest(char* out, double v);
char* format_code_rest(char* out, std::int32_t code);

// The double nearest to (negative ? -1 : 1) * digits * 10^exp10, ties to
// even. Beyond the range of a double: the largest finite double of that
// sign. Non-zero but below the smallest subnormal: zero of that sign.
double decimal_to_double_exact(std::uint64_t digits, std::int64_t exp10, bool negative);

// Exact powers of ten as doubles (10^22 is the last one a double holds exactly).
inline constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The same, with the common case inline: when digits and 10^|exp10| are both
// exact doubles, one IEEE multiplication or division is correctly rounded.
// The one conversion of a value's decimal (read_value, value_syntax.h) to
// its double: the general scanner and the copy loop both take it.
inline double decimal_to_double(std::uint64_t digits, std::int64_t exp10, bool negative) {
  if (digits <= (std::uint64_t{1} << 53) && exp10 >= -22 && exp10 <= 22) {
    const double d = static_cast<double>(digits);
    const double v = exp10 < 0 ? d / exact_powers_of_ten[-exp10] : d * exact_powers_of_ten[exp10];
    return negative ? -v : v;
  }
  return decimal_to_double_exact(digits, exp10, negative);
}

// Writes n < 10^8 in decimal without leading zeros. Up to 7 bytes after
// the text are scratch.
inline char* write_below_e8(char* out, std::uint32_t n) {
  const std::uint64_t word = digits_text8(n);
  return store_last(out, word, significant_digits(word));
}

// Writes n micro-units as their integer part, a point and six decimals, and
// returns the end of the text; no sign. Precondition: n < 10^14; out has
// room for 24 bytes (up to 8 bytes after the text are scratch).
inline char* write_micro(char* out, std::uint64_t n) {
  assert(n < 100000000000000u);
  const std::uint64_t units = n / 1000000;  // < 10^8
  return write_units_micro(out, static_cast<std::uint32_t>(units), static_cast<std::uint32_t>(n - units * 1000000));
}

// The text format_value(decimal_to_double(digits, exp10, negative)) writes,
// worked out from the decimal value s = digits * 10^exp10 itself, without the
// double, for |s| < 10^7; returns its end, or nullptr when s is outside that
// range or too near a rounding boundary to decide here (the caller then takes
// the double). Precondition: digits < 10^19; out has room for 24 bytes.
//
// Let d be the double nearest s. Every s taken here is 0 or at least 10^-24,
// in the normal range, so |d - s| <= ulp(s) / 2 <= |s| * 2^-53, and with
// |s| < 10^7 that is below 1.2e-9, far inside the half micro-unit 5e-7 of
// the six-decimal rounding.
//
// Step 1: s has at most six decimals (exp10 >= -6). Then s is n micro-units
//         exactly, n = digits * 10^(6 + exp10) < 10^13, and d, within 1.2e-9
//         of s, rounds to n again.
// Step 2: s has more decimals. With p = 10^(-6 - exp10), digits = n * p + r,
//         0 <= r < p: s lies in [n, n + 1) micro-units, and the only rounding
//         boundary within 5e-7 of it is B = n + 1/2 micro-units. Its distance
//         |s - B| is |2r - p| / 2 * 10^exp10, and |d - s| <= digits * 2^-53 *
//         10^exp10; so when |2r - p| > digits * 2^-52, d lies on the same side
//         of B as s and is not B: both round to n + 1 exactly when 2r > p.
//         The test uses digits >> 50 (a window four times as wide, and one
//         that also takes every tie 2r = p, where d's side is unknown).
// Step 3: the sign, only before a non-zero rounding (as format_value).
inline char* format_decimal(char* out, std::uint64_t digits, std::int64_t exp10, bool negative) {
  constexpr std::uint64_t limit = 10000000000000u;  // 10^13 micro-units: |s| < 10^7
  std::uint64_t n;
  if (exp10 >= -6) {
    // Step 1.
    if (exp10 > 6) return nullptr;
    const std::uint64_t scale = integer_powers_of_ten[6 + exp10];
    if (digits >= limit / scale) return nullptr;
    n = digits * scale;
  } else {
    // Step 2. p <= 10^18, so 2r < 2 * 10^18 fits.
    if (exp10 < -24) return nullptr;
    const std::uint64_t p = integer_powers_of_ten[-6 - exp10];
    n = digits / p;
    const std::uint64_t twice_r = 2 * (digits - n * p);
    const std::uint64_t distance = twice_r > p ? twice_r - p : p - twice_r;
    if (n >= limit || distance <= (digits >> 50)) return nullptr;
    n += twice_r > p;
  }
  assert(n <= limit);
  // Step 3.
  *out = '-';
  out += negative && n != 0;
  return write_micro(out, n);
}

inline char* format_value(char* out, double v) {
  const double a = std::fabs(v);
  // The common case, from two IEEE operations: y = |v| * 10^6 rounded, and
  // n = y rounded to an integer, when y is below 10^14 - 1 and not within
  // 2^-6 of a half-integer.
  // - The exact product x also lies below 10^14 < 2^47 (rounding is monotonic
  //   and 10^14 - 1 is a double), where a double's spacing is at most 2^-6,
  //   so |x - y| <= 2^-7.
  // - t = y + 2^52 lies in [2^52, 2^53), where the spacing is 1: t is
  //   2^52 + n, n the integer nearest y, and n is t's low bits. t - 2^52 and
  //   y - n are exact (Sterbenz).
  // - |y - n| < 1/2 - 2^-6 gives |x - n| < 1/2: x rounds to n, as
  //   format_fixed_small finds; the ties it breaks never come here. And
  //   n <= 10^14 - 1: its units are below 10^8.
  // - The units are those of |v| (below 10^8), unless the decimals rounded
  //   up to 10^6: taken from |v| itself, they need not wait for n.
  // This holds in the default rounding mode, which nothing here changes.
  static_assert(FLT_EVAL_METHOD == 0, "double arithmetic in double precision");
  const double y = a * 1e6;
  if (y < 99999999999999.0) {  // false for a NaN
    const double t = y + 0x1p52;
    if (std::fabs(y - (t - 0x1p52)) < 0.5 - 0x1p-6) {
      std::uint64_t bits;
      std::memcpy(&bits, &t, sizeof bits);
      auto units = static_cast<std::uint32_t>(static_cast<std::int32_t>(a));
      // n - units * 10^6 is at most 10^6: n's low 32 bits, t's, suffice.
      auto micro = static_cast<std::uint32_t>(bits) - units * 1000000u;
      if (micro == 1000000) {
        ++units;
        micro = 0;
      }
      if (std::signbit(v) && (units | micro) != 0) *out++ = '-';
      return write_units_micro(out, units, micro);
    }
  }
  return format_value_rest(out, v);
}

// The texts of the codes 0 to 999, the most common ones: one to three
// digits, and in the fourth byte their count.
struct short_code_texts {
  char text[1000][4];
  constexpr short_code_texts() : text() {
    for (int n = 0; n < 1000; ++n) {
      const int count = n < 10 ? 1 : n < 100 ? 2 : 3;
      for (int i = count - 1, rest = n; i >= 0; --i, rest /= 10) text[n][i] = static_cast<char>('0' + rest % 10);
      text[n][3] = static_cast<char>(count);
    }
  }
};
inline constexpr short_code_texts short_codes{};

inline char* format_code(char* out, std::int32_t code) {
  if (static_cast<std::uint32_t>(code) < 1000) {
    const char* text = short_codes.text[code];
    std::memcpy(out, text, 4);  // the count lands in the scratch after the text
    return out + text[3];
  }
  return format_code_rest(out, code);
}

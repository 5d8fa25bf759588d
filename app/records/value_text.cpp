// Values as text: formatting of doubles and codes, and the decimal-to-double
// step of scanning.
#include "records/value_text.h"

#include <cassert>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "host/compiler.h"
#include "records/decimal_wide.h"
#include "records/digit_chunks.h"

namespace {

// Writes n in decimal without leading zeros, eight digits at a time.
// Up to 7 bytes after the text are scratch.
inline char* write_unsigned(char* out, std::uint64_t n) {
  constexpr std::uint64_t e8 = 100000000;
  if (n < e8) return write_below_e8(out, static_cast<std::uint32_t>(n));
  const std::uint64_t high = n / e8;
  const auto low = static_cast<std::uint32_t>(n % e8);
  if (high < e8) {
    out = write_below_e8(out, static_cast<std::uint32_t>(high));
  } else {  // n >= 10^16: at most four more leading digits
    out = write_below_e8(out, static_cast<std::uint32_t>(high / e8));
    out = store_last(out, digits_text8(static_cast<std::uint32_t>(high % e8)), 8);
  }
  return store_last(out, digits_text8(low), 8);
}

// Fixed notation for |v| < 1e13.
//
// Step 1: split v into m * 2^e with m an integer of at most 53 bits.
// Step 2: N = m * 10^6 * 2^e rounded to an integer, ties to even. x = m * 10^6
//         is below 2^73, so it fits 128 bits (two words); since |v| < 1e13 <
//         2^44, e < -8 and the scaling is always a right shift.
// Step 3: N < 1e19 + 1 fits 64 bits; print N / 10^6, a point, N % 10^6.
// Every step is exact, so the result is the correctly rounded six-decimal
// text of the exact binary value.
char* format_fixed_small(char* out, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const bool negative = bits >> 63;
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int e;
  if (biased == 0) {
    e = -1074;
  } else {
    m |= std::uint64_t{1} << 52;
    e = biased - 1075;
  }

  std::uint64_t hi;
  const std::uint64_t lo = multiply_wide(m, 1000000u, hi);
  assert(hi < (std::uint64_t{1} << 9));
  const int shift = -e;  // 9 <= shift <= 1074
  const std::uint64_t top = std::uint64_t{1} << 63;
  std::uint64_t n = 0;
  if (shift < 64) {
    // The common case (|v| >= 2^-11): the quotient fits 64 bits, and the
    // remainder is compared with one half once moved to the top of a word.
    n = (lo >> shift) | (hi << (63 - shift) << 1);
    const std::uint64_t rem = lo << (63 - shift) << 1;
    n += rem > top || (rem == top && (n & 1));
  } else if (shift < 128) {
    // The quotient comes from the high word alone; the remainder is the
    // high word's low s bits, then the whole low word.
    const int s = shift - 64;
    n = hi >> s;
    const std::uint64_t rem_hi = hi & ((std::uint64_t{1} << s) - 1);
    bool above, tie;
    if (s == 0) {  // one half is (0, 2^63)
      above = lo > top;
      tie = lo == top;
    } else {  // one half is (2^(s-1), 0)
      const std::uint64_t half_hi = std::uint64_t{1} << (s - 1);
      above = rem_hi > half_hi || (rem_hi == half_hi && lo != 0);
      tie = rem_hi == half_hi && lo == 0;
    }
    n += above || (tie && (n & 1));
  }  // else x < 2^73 <= one half: rounds to 0

  *out = '-';
  out += negative && n != 0;
  if (n < 100000000000000u) return write_micro(out, n);  // |v| < 10^8: the common case
  out = write_unsigned(out, n / 1000000);
  *out++ = '.';
  return store_last(out, digits_text8(static_cast<std::uint32_t>(n % 1000000)), 6);
}

// The first 19 significant digits of a (> 0), rounded to nearest from the
// exact binary value, ties to even, as an integer in [10^18, 10^19); and
// the decimal exponent of the first.
struct digits19 {
  std::uint64_t x;
  int exp10;
};

#if TILVARO_INT128
__extension__ typedef unsigned __int128 u128;

// 10^0 to 10^38, every power of ten 128 bits hold.
struct wide_powers_of_ten {
  u128 power[39];
  constexpr wide_powers_of_ten() : power() {
    power[0] = 1;
    for (int i = 1; i < 39; ++i) power[i] = power[i - 1] * 10;
  }
};
constexpr wide_powers_of_ten wide_powers{};

// leading_digits for 1e13 <= a < 1e38 (< 2^127), in integer arithmetic.
//
// Step 1: a = m * 2^e, m < 2^53; a >= 1e13 > 2^43, so e >= -9. Its integer
//         part N (a itself when e >= 0) has k + 1 digits: k = floor(log10 a).
// Step 2: X = a * 10^(18 - k), in [10^18, 10^19), rounded to an integer,
//         ties to even. For k <= 18, m * 10^(18 - k) < 2^53 * 10^5 < 2^70,
//         shifted by e (right: at most 9 bits, rounded); for k > 18, a = N
//         is an integer below 2^127, divided by 10^(k - 18) and rounded.
// Step 3: a rounding up to 10^19 is 10^18 with k one higher.
// Every step is exact, so the digits are those of the exact binary value
// rounded to nearest, as the library's conversion gives them.
digits19 leading_digits_wide(double a) {
  // Step 1.
  std::uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int e = static_cast<int>(bits >> 52) - 1075;
  const u128 n = e >= 0 ? static_cast<u128>(m) << e : static_cast<u128>(m >> -e);
  const std::uint64_t high = static_cast<std::uint64_t>(n >> 64);
  const int length = high != 0 ? 64 + bit_length(high) : bit_length(static_cast<std::uint64_t>(n));
  int k = ((length - 1) * 1233) >> 12;  // floor(log10 2^(length - 1)): k or one low
  k += n >= wide_powers.power[k + 1];

  // Step 2.
  u128 x, rest, half;
  if (k <= 18) {
    const u128 scaled = static_cast<u128>(m) * wide_powers.power[18 - k];
    if (e >= 0) {
      x = scaled << e;  // exact
      rest = 0;
      half = 1;
    } else {
      x = scaled >> -e;
      rest = (scaled & ((static_cast<u128>(1) << -e) - 1)) << 1;
      half = static_cast<u128>(1) << -e;  // rest and half both doubled
    }
  } else {
    const u128 p = wide_powers.power[k - 18];
    x = n / p;
    rest = (n % p) << 1;
    half = p;
  }
  x += rest > half || (rest == half && (x & 1));

  // Step 3.
  if (x == wide_powers.power[19]) {
    x = wide_powers.power[18];
    ++k;
  }
  assert(x >= wide_powers.power[18] && x < wide_powers.power[19]);
  return {static_cast<std::uint64_t>(x), k};
}
#endif

digits19 leading_digits(double a) {
#if TILVARO_INT128
  if (a < 1e38) return leading_digits_wide(a);
#endif
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 18);
  // r.ptr - buf == "d.dddddddddddddddddde+XX": 20 bytes before the 'e'.
  digits19 out{static_cast<std::uint64_t>(buf[0] - '0'), 0};
  for (const char* p = buf + 2; p < buf + 20; ++p) out.x = out.x * 10 + static_cast<std::uint64_t>(*p - '0');
  int x = 0;
  for (const char* p = buf + 22; p < r.ptr; ++p) x = x * 10 + (*p - '0');
  out.exp10 = buf[21] == '-' ? -x : x;
  return out;
}

// Fixed notation for 1e13 <= |v| < 1e40: 19 digits from the value, then 0
// in every further position before and after the point. Not cold: values
// of more than 13 integer digits come in whole files from some exporters.
TILVARO_NOINLINE char* format_fixed_large(char* out, double v) {
  const digits19 g = leading_digits(std::fabs(v));
  *out = '-';
  out += v < 0;
  const int integer_digits = g.exp10 + 1;  // 14 to 40
  // The digits as three words of text (3, 8 and 8 digits), stored over
  // zeros: at most 1 + 48 bytes from the first out, within value_text_max.
  // Built in registers and stored once: text stored and read back in
  // pieces stalls on the store forwarding.
  constexpr std::uint64_t e8 = 100000000, zeros = 0x3030303030303030u;
  const std::uint64_t rest = g.x / e8;
  const std::uint64_t low = digits_text8(static_cast<std::uint32_t>(g.x % e8));
  std::memset(out, '0', 48);
  store_last(out, digits_text8(static_cast<std::uint32_t>(rest / e8)), 3);
  store_last(out + 3, digits_text8(static_cast<std::uint32_t>(rest % e8)), 8);
  if (integer_digits >= 19) {  // the point after the zeros that follow the digits
    store_last(out + 11, low, 8);
    out[integer_digits] = '.';
    return out + integer_digits + 7;
  }
  // The point among the last eight digits: s of them before it.
  const int s = integer_digits - 11;  // 3 to 7
  const std::uint64_t before = (std::uint64_t{1} << (8 * s)) - 1;
  store_last(out + 11, (low & before) | (std::uint64_t{'.'} << (8 * s)) | ((low & ~before) << 8), 8);
  store_last(out + 19, (low >> 56) | (zeros << 8), 8);
  return out + integer_digits + 7;
}

// Exponent form for |v| >= 1e40: d.<39 digits>e+XX, the digits after the
// 19th written as 0.
TILVARO_COLD char* format_exponent(char* out, double v) {
  const digits19 g = leading_digits(std::fabs(v));
  char d[19 + 7];  // write_unsigned's scratch after the 19 digits
  write_unsigned(d, g.x);
  if (v < 0) *out++ = '-';
  *out++ = d[0];
  *out++ = '.';
  std::memcpy(out, d + 1, 18);
  out += 18;
  std::memset(out, '0', 21);
  out += 21;
  *out++ = 'e';
  *out++ = g.exp10 < 0 ? '-' : '+';
  const int x = g.exp10 < 0 ? -g.exp10 : g.exp10;
  if (x < 10) *out++ = '0';
  return write_unsigned(out, static_cast<std::uint64_t>(x));
}

}  // namespace

char* format_value_rest(char* out, double v) {
  const double a = std::fabs(v);
  if (a < 1e13) return format_fixed_small(out, v);  // false for a NaN
  if (std::isnan(v)) {
    std::memcpy(out, std::signbit(v) ? "-NAN" : "+NAN", 4);
    return out + 4;
  }
  if (std::isinf(v)) {
    std::memcpy(out, v < 0 ? "-INF" : "+INF", 4);
    return out + 4;
  }
  if (a < 1e40) return format_fixed_large(out, v);
  return format_exponent(out, v);
}

char* format_code_rest(char* out, std::int32_t code) {
  std::uint64_t n = static_cast<std::uint64_t>(code);
  if (code < 0) {
    *out++ = '-';
    n = static_cast<std::uint64_t>(-static_cast<std::int64_t>(code));
  }
  return write_unsigned(out, n);
}

#if TILVARO_INT128
namespace {

// The double nearest to (q + a little, when sticky) * 2^exp2, ties to even.
// Preconditions: q != 0, and the result is a normal double.
double round_to_double(std::uint64_t q, bool sticky, int exp2) {
  const int drop = bit_length(q) - 53;
  if (drop <= 0) return std::ldexp(static_cast<double>(q), exp2);
  std::uint64_t m = q >> drop;
  const std::uint64_t rest = q & ((std::uint64_t{1} << drop) - 1);
  const std::uint64_t half = std::uint64_t{1} << (drop - 1);
  m += rest > half || (rest == half && (sticky || (m & 1)));
  return std::ldexp(static_cast<double>(m), drop + exp2);
}

// digits * 10^exp10 for |exp10| <= 19, where 10^|exp10| fits 64 bits:
// the product is exact in 128 bits; the quotient is taken to 63 or 64
// bits, its remainder kept as a sticky bit.
double scale_wide(std::uint64_t digits, int exp10) {
  const std::uint64_t power = integer_powers_of_ten[exp10 < 0 ? -exp10 : exp10];
  if (exp10 >= 0) {
    const u128 product = static_cast<u128>(digits) * power;
    const auto high = static_cast<std::uint64_t>(product >> 64);
    if (high == 0) return round_to_double(static_cast<std::uint64_t>(product), false, 0);
    const int shift = bit_length(high);
    const bool sticky = (product & ((static_cast<u128>(1) << shift) - 1)) != 0;
    return round_to_double(static_cast<std::uint64_t>(product >> shift), sticky, shift);
  }
  const int shift = 63 + bit_length(power) - bit_length(digits);  // quotient in [2^62, 2^64)
  const u128 numerator = static_cast<u128>(digits) << shift;
  const auto quotient = static_cast<std::uint64_t>(numerator / power);
  return round_to_double(quotient, numerator % power != 0, -shift);
}

}  // namespace
#endif

double decimal_to_double_exact(std::uint64_t digits, std::int64_t exp10, bool negative) {
  const double sign = negative ? -1.0 : 1.0;
  if (digits == 0) return sign * 0.0;

  // digits < 10^19, so beyond these exponents the result is certain.
  if (exp10 > 310) return sign * DBL_MAX;
  if (exp10 < -345) return sign * 0.0;

  double wide;
  if (decimal_to_double_wide(digits, exp10, wide)) return sign * wide;

#if TILVARO_INT128
  if (exp10 >= -19 && exp10 <= 19) return sign * scale_wide(digits, static_cast<int>(exp10));
#endif

  // Exact path: the standard library's correctly rounded conversion.
  char buf[40];
  char* p = std::to_chars(buf, buf + 20, digits).ptr;  // at most 20 digits
  *p++ = 'e';
  p = std::to_chars(p, buf + sizeof buf, exp10).ptr;
  double d = 0.0;
  const auto r = std::from_chars(buf, p, d);
  if (r.ec == std::errc::result_out_of_range) d = exp10 > 0 ? DBL_MAX : 0.0;
  return sign * d;
}

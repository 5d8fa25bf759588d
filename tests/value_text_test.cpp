// Formatting of values and codes, and decimal-to-double conversion, checked
// against boundary tables and against the C library as an independent oracle.
#include "records/value_text.h"

#include "records/digit_chunks.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string fmt(double v) {
  char buf[value_text_max + 1];
  char* end = format_value(buf, v);
  EXPECT_LE(end - buf, 48);
  return std::string(buf, end);
}

std::string code_text(std::int32_t c) {
  char buf[code_text_max];
  return std::string(buf, format_code(buf, c));
}

// The C library's exact fixed form, the oracle below 1e13.
std::string printf_fixed(double v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

// The same, without the sign the C library keeps on a zero rounding.
std::string printf_unsigned_zero(double v) {
  const std::string s = printf_fixed(v);
  return s == "-0.000000" ? "0.000000" : s;
}

// Exact decimal oracle for 1e13 and up: glibc's "%.6f" gives every digit of
// the exact binary value; round that decimal string to 19 significant
// digits (ties to even, a tie only when every dropped digit after the 5 is
// 0) and put 0 in every later position.
std::string round_to_19(const std::string& exact) {
  std::string s = exact;
  const bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  const std::size_t point = s.find('.');
  std::string digits = s.substr(0, point) + s.substr(point + 1);
  const std::size_t int_len = point;
  if (digits.size() > 19) {
    const char next = digits[19];
    const bool rest_zero = digits.find_first_not_of('0', 20) == std::string::npos;
    bool up = next > '5' || (next == '5' && (!rest_zero || (digits[18] - '0') % 2 == 1));
    for (std::size_t i = 19; i < digits.size(); ++i) digits[i] = '0';
    int carry_at = 18;
    while (up && carry_at >= 0) {
      if (digits[carry_at] == '9') {
        digits[carry_at] = '0';
        --carry_at;
      } else {
        ++digits[carry_at];
        up = false;
      }
    }
    if (up) {  // 999... rounded to 1000...; the new last kept digit is 0
      digits.insert(digits.begin(), '1');
      digits[19] = '0';
      return (negative ? "-" : "") + digits.substr(0, int_len + 1) + "." + digits.substr(int_len + 1);
    }
  }
  return (negative ? "-" : "") + digits.substr(0, int_len) + "." + digits.substr(int_len);
}

// Oracle for 1e40 and up: glibc's correctly rounded 19 digits, 21 zeros.
std::string printf_exponent(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.18e", v);
  std::string s = buf;
  const std::size_t e = s.find('e');
  return s.substr(0, e) + std::string(21, '0') + s.substr(e);
}

TEST(FormatValue, BoundaryTable) {
  struct {
    double value;
    const char* text;
  } const cases[] = {
      {4000000.0, "4000000.000000"},
      {0.0, "0.000000"},
      {-0.0, "0.000000"},
      {-12.5, "-12.500000"},
      {100000.0, "100000.000000"},
      // exact ties go to the even digit
      {0.0078125, "0.007812"},
      {0.0234375, "0.023438"},
      {-0.0078125, "-0.007812"},
      {0.0000005, "0.000000"},  // binary value is below the tie
      {0.0000015, "0.000002"},
      {2.5e-7, "0.000000"},
      // a rounding that is zero carries no sign
      {-0.0000004, "0.000000"},
      {-0.0000006, "-0.000001"},
      {-4.9e-324, "0.000000"},
      {0.9999994, "0.999999"},
      {0.99999951, "1.000000"},
      {-0.99999951, "-1.000000"},
      // around 1e13: below it every digit comes from the value
      {9999999999999.998, "9999999999999.998047"},
      {1e13, "10000000000000.000000"},
      {10000000000000.123, "10000000000000.123050"},
      {-12345678901234.567, "-12345678901234.566410"},
      {123456789012345678.0, "123456789012345680.000000"},
      {1e20, "100000000000000000000.000000"},
      // around 1e40
      {1e40, "1.000000000000000030000000000000000000000e+40"},
      {-1e40, "-1.000000000000000030000000000000000000000e+40"},
      {1e100, "1.000000000000000016000000000000000000000e+100"},
      {DBL_MAX, "1.797693134862315708000000000000000000000e+308"},
      {-DBL_MAX, "-1.797693134862315708000000000000000000000e+308"},
      {HUGE_VAL, "+INF"},
      {-HUGE_VAL, "-INF"},
      {std::nan(""), "+NAN"},
      {-std::nan(""), "-NAN"},
  };
  for (const auto& c : cases) EXPECT_EQ(fmt(c.value), c.text) << c.text;

  // Every double within 64 steps of the edges of the six-decimal form's
  // fast path: 10^8 (whose neighbours round to 100000000.000000), and
  // half micro-units at several magnitudes.
  for (const double edge : {1e8, 99999999.9999995, 70368744.1777155, 12345678.0000005, 1.0000005, 0.0000005}) {
    double v = edge;
    for (int i = 0; i < 64; ++i) v = std::nextafter(v, 0.0);
    for (int i = 0; i < 128; ++i, v = std::nextafter(v, HUGE_VAL)) {
      ASSERT_EQ(fmt(v), printf_unsigned_zero(v)) << std::hexfloat << v;
      ASSERT_EQ(fmt(-v), printf_unsigned_zero(-v)) << std::hexfloat << v;
    }
  }
}

TEST(FormatValue, LongestTexts) {
  // Just below 1e40: 40 integer digits, the longest fixed text.
  const double below = std::nextafter(1e40, 0.0);
  EXPECT_EQ(fmt(below), round_to_19(printf_fixed(below)));
  EXPECT_EQ(fmt(-below), "-9999999999999999095000000000000000000000.000000");
  EXPECT_EQ(fmt(-DBL_MAX).size(), 47u);
}

TEST(FormatCode, Table) {
  EXPECT_EQ(code_text(0), "0");
  EXPECT_EQ(code_text(4), "4");
  EXPECT_EQ(code_text(-137), "-137");
  EXPECT_EQ(code_text(INT32_MAX), "2147483647");
  EXPECT_EQ(code_text(INT32_MIN), "-2147483648");
  for (std::int32_t c : {99999, 100000, 99999999, 100000000, -100000000}) {
    EXPECT_EQ(code_text(c), std::to_string(c));
  }
  // Every code of up to five digits: the four-digit form and its edges.
  for (std::int32_t c = -99999; c <= 99999; ++c) ASSERT_EQ(code_text(c), std::to_string(c));
}

// Random doubles with magnitudes spread evenly over every binade below 1e13.
TEST(FormatValue, MatchesPrintfBelow1e13) {
  std::mt19937_64 rng(20261208);
  std::uniform_int_distribution<int> binade(-1074, 43);
  std::uniform_int_distribution<std::uint64_t> mantissa(0, (std::uint64_t{1} << 53) - 1);
  for (int i = 0; i < 2000000; ++i) {
    double v = std::ldexp(static_cast<double>(mantissa(rng)), binade(rng) - 52);
    if (i & 1) v = -v;
    if (std::fabs(v) >= 1e13) continue;
    ASSERT_EQ(fmt(v), printf_unsigned_zero(v)) << std::hexfloat << v;
  }
}

// Decimal ties and near-ties: values with few digits around six decimals.
TEST(FormatValue, MatchesPrintfOnShortDecimals) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<std::int64_t> units(-100000000000, 100000000000);
  for (int i = 0; i < 500000; ++i) {
    const double v = static_cast<double>(units(rng)) / 1e7 * (i % 3 == 0 ? 1 : 0.5);
    ASSERT_EQ(fmt(v), printf_unsigned_zero(v)) << std::hexfloat << v;
  }
}

TEST(FormatValue, NineteenDigitsFrom1e13) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> exponent(13.0, 40.0);
  for (int i = 0; i < 200000; ++i) {
    double v = std::pow(10.0, exponent(rng));
    if (v >= 1e40) continue;
    if (i & 1) v = -v;
    ASSERT_EQ(fmt(v), round_to_19(printf_fixed(v))) << std::hexfloat << v;
  }
  // Exact ties at the 20th digit, both parities: integers, and below 2^53
  // values with a binary fraction (6 decimals: 2^-6 and 3 * 2^-6).
  for (double v : {12345678901234567850.0, 12345678901234567750.0, 99999999999999999990.0, 12345678901234.015625,
                   12345678901234.046875, 99999999999999.999}) {
    EXPECT_EQ(fmt(v), round_to_19(printf_fixed(v))) << std::hexfloat << v;
  }
}

TEST(FormatValue, ExponentFormFrom1e40) {
  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> exponent(40.0, 308.25);
  for (int i = 0; i < 200000; ++i) {
    double v = std::pow(10.0, exponent(rng));
    if (!std::isfinite(v) || v < 1e40) continue;
    if (i & 1) v = -v;
    ASSERT_EQ(fmt(v), printf_exponent(v)) << std::hexfloat << v;
  }
}

TEST(DecimalToDouble, RangeLimits) {
  EXPECT_EQ(decimal_to_double(1, 400, false), DBL_MAX);
  EXPECT_EQ(decimal_to_double(1, 400, true), -DBL_MAX);
  EXPECT_EQ(decimal_to_double(1797693134862315808ull, 290, false), DBL_MAX);  // rounds past DBL_MAX
  EXPECT_EQ(decimal_to_double(1797693134862315708ull, 290, false), DBL_MAX);  // rounds to it
  EXPECT_EQ(decimal_to_double(1, 1000000000, false), DBL_MAX);
  EXPECT_EQ(decimal_to_double(1, -400, false), 0.0);
  EXPECT_EQ(decimal_to_double(2, -324, false), 0.0);
  EXPECT_TRUE(std::signbit(decimal_to_double(1, -400, true)));
  EXPECT_EQ(decimal_to_double(5, -324, false), 4.9406564584124654e-324);  // subnormals are kept
  EXPECT_EQ(decimal_to_double(1, -310, false), 1e-310);
  EXPECT_EQ(decimal_to_double(0, 5000, false), 0.0);
  EXPECT_TRUE(std::signbit(decimal_to_double(0, 0, true)));
}

// More than 53 bits of digits: exact ties and the values just beside them,
// scaled up and down, against strtod.
TEST(DecimalToDouble, WideDigitsAroundTies) {
  for (std::uint64_t base : {9007199254740992ull, 18014398509481984ull, 9223372036854775808ull}) {
    for (std::uint64_t step = 0; step < 12; ++step) {
      const std::uint64_t digits = base + step * (base >> 53) / 2 + (step % 3 == 2);
      for (int e = -19; e <= 19; ++e) {
        char text[64];
        std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(digits), e);
        ASSERT_EQ(decimal_to_double(digits, e, false), std::strtod(text, nullptr)) << text;
      }
    }
  }
  // Short binary fractions of many digits (8750000000000000000e-17 is
  // 87.5), where the wide product's truncated power hides a carry, and
  // the decimals one unit below them.
  std::mt19937_64 rng(53);
  for (int q = 1; q <= 27; ++q) {
    std::uint64_t five = 1;
    for (int i = 0; i < q; ++i) five *= 5;
    for (int i = 0; i < 200; ++i) {
      const std::uint64_t digits = five * (1 + rng() % (9999999999999999999u / five)) - (i % 3 == 0 ? 1 : 0);
      char text[64];
      std::snprintf(text, sizeof text, "%llue-%d", static_cast<unsigned long long>(digits), q);
      ASSERT_EQ(decimal_to_double(digits, -q, false), std::strtod(text, nullptr)) << text;
    }
  }
}

// Random decimals of 1 to 19 significant digits, every exponent, against
// strtod (which overflows to infinity where the reader gives DBL_MAX).
TEST(DecimalToDouble, MatchesStrtod) {
  std::mt19937_64 rng(17);
  std::uniform_int_distribution<int> length(1, 19);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> exponent(-360, 330);
  std::uniform_int_distribution<int> small_exponent(-30, 30);
  for (int i = 0; i < 1000000; ++i) {
    const int n = length(rng);
    std::uint64_t digits = 0;
    for (int k = 0; k < n; ++k) digits = digits * 10 + static_cast<unsigned>(digit(rng));
    const int e = (i & 1) ? exponent(rng) : small_exponent(rng);
    char text[64];
    std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(digits), e);
    double expected = std::strtod(text, nullptr);
    if (std::isinf(expected)) expected = DBL_MAX;
    ASSERT_EQ(decimal_to_double(digits, e, false), expected) << text;
  }
}

// format_decimal against strtod + printf, on decimals of its own shape and
// just outside it (|s| >= 10^7, more than 24 decimals), on exact rounding
// ties and near-ties at the seventh decimal and beyond, and on the
// 19-digit texts of the doubles nearest those ties (which format_value
// itself must also write as printf does). Where it answers, it
// must write what the double path writes; away from ties it must answer for
// almost all of its range.
TEST(FormatDecimal, MatchesDoublePath) {
  std::mt19937_64 rng(43);
  auto below = [&](std::uint64_t n) { return rng() % n; };
  long answered = 0, in_range = 0;
  auto check = [&](std::uint64_t digits, int e, bool negative, bool counted = false) {
    char text[64], buf[32];
    std::snprintf(text, sizeof text, "%s%llue%d", negative ? "-" : "", static_cast<unsigned long long>(digits), e);
    const double v = std::strtod(text, nullptr);
    char* end = format_decimal(buf, digits, e, negative);
    if (counted && std::fabs(v) < 1e7 && e >= -24) {
      ++in_range;
      answered += end != nullptr;
    }
    if (end == nullptr) return;
    ASSERT_EQ(std::string(buf, end), printf_unsigned_zero(v)) << text;
  };
  for (int i = 0; i < 600000; ++i) {
    const bool negative = i & 1;
    const int length = 1 + static_cast<int>(below(19));
    std::uint64_t digits = 0;
    for (int k = 0; k < length; ++k) digits = digits * 10 + below(10);
    switch (i % 4) {
      case 0:  // any decimal in and around the range
        check(digits, static_cast<int>(below(36)) - 27, negative, true);
        break;
      case 1: {  // a tie n + 1/2 micro-units, q digits after the 6th decimal, moved by a little
        const int q = 1 + static_cast<int>(below(12));
        const std::uint64_t n = below(10000000000000u / integer_powers_of_ten[q > 6 ? q - 6 : 0]);
        const std::uint64_t tie = n * integer_powers_of_ten[q] + 5 * integer_powers_of_ten[q - 1];
        const std::uint64_t wiggle = below(3) == 0 ? below((tie >> 48) + 1) : below(5);
        const std::uint64_t near = below(2) && tie + wiggle < 10000000000000000000u ? tie + wiggle : tie - wiggle;
        check(near, -6 - q, negative);
        break;
      }
      default: {  // the doubles beside such a tie, as their 19-digit texts
        char tie[64], text[64];
        std::snprintf(tie, sizeof tie, "%llu.5e-6", static_cast<unsigned long long>(below(10000000000000u)));
        double d = std::strtod(tie, nullptr);
        for (int step = static_cast<int>(below(3)); step > 0; --step) d = std::nextafter(d, i % 4 == 2 ? 0.0 : 1e9);
        ASSERT_EQ(fmt(negative ? -d : d), printf_unsigned_zero(negative ? -d : d)) << tie;
        std::snprintf(text, sizeof text, "%.18e", d);
        std::uint64_t m = 0;
        for (const char* p = text; *p != 'e'; ++p)
          if (*p != '.') m = m * 10 + static_cast<unsigned>(*p - '0');
        check(m, std::atoi(std::strchr(text, 'e') + 1) - 18, negative);
      }
    }
    if (HasFailure()) break;
  }
  EXPECT_GT(answered, in_range * 99 / 100);
}

// The bit counts and the wide product against independent oracles: a bit
// loop, and the compiler's 128-bit type where it has one. In a build with
// TILVARO_PORTABLE_ARITHMETIC this checks the plain C++ versions.
TEST(Arithmetic, BitCountsAndWideProduct) {
  std::mt19937_64 rng(41);
  for (int i = 0; i < 200000; ++i) {
    std::uint64_t x = rng() >> (rng() % 64);
    if (i < 64) x = std::uint64_t{1} << i;
    int low = 0, length = 0;
    while (low < 64 && !((x >> low) & 1)) ++low;
    for (std::uint64_t y = x; y != 0; y >>= 1) ++length;
    ASSERT_EQ(bit_length(x), length) << x;
    if (x != 0) {
      ASSERT_EQ(lowest_bit(x), low) << x;
    }
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 u128;
    const std::uint64_t a = i < 64 ? ~std::uint64_t{0} : rng(), b = i < 64 ? x : rng() >> (rng() % 64);
    std::uint64_t high;
    const std::uint64_t low_word = multiply_wide(a, b, high);
    ASSERT_EQ(static_cast<u128>(high) << 64 | low_word, static_cast<u128>(a) * b) << a << " * " << b;
#endif
  }
}

}  // namespace

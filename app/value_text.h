// Values as text: the exact conversion between decimal digits and doubles,
// and the one way a value is written.
#pragma once

#include <cstddef>
#include <cstdint>

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
char* format_value(char* out, double v);

// Writes a code in decimal (a minus sign when negative, no padding) and
// returns the end of the text. Precondition: out has room for code_text_max
// bytes.
char* format_code(char* out, std::int32_t code);

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
inline double decimal_to_double(std::uint64_t digits, std::int64_t exp10, bool negative) {
  if (digits <= (std::uint64_t{1} << 53) && exp10 >= -22 && exp10 <= 22) {
    const double d = static_cast<double>(digits);
    const double v = exp10 < 0 ? d / exact_powers_of_ten[-exp10] : d * exact_powers_of_ten[exp10];
    return negative ? -v : v;
  }
  return decimal_to_double_exact(digits, exp10, negative);
}

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
double decimal_to_double(std::uint64_t digits, std::int64_t exp10, bool negative);

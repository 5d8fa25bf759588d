// The double nearest to a decimal of up to 19 significant digits, from one
// wide product with a 128-bit power of ten, for any decimal exponent: the
// quick way of decimal_to_double_exact (value_text.h), which takes the
// decimals it cannot decide.
#pragma once

#include <cstdint>

// Stores in out the double nearest to digits * 10^exp10 (ties to even) and
// returns true, or returns false without storing when the product cannot
// tell (a carry that its truncated power of ten could hide, about one
// decimal in 2^70), or the result is not a normal double.
// Precondition: 0 < digits.
bool decimal_to_double_wide(std::uint64_t digits, std::int64_t exp10, double& out);

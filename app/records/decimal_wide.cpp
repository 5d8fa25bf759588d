// Decimal to double through a wide product with a truncated power of ten.
#include "records/decimal_wide.h"

#include <cstring>

#include "records/digit_chunks.h"

namespace {

// 10^q for min_q <= q <= max_q as T * 2^e: T the 128-bit integer
// floor(10^q * 2^-e) with its top bit set (hi, lo), e the exponent that
// puts it there. Every decimal of at most 19 digits whose value lies in a
// double's range has its exponent in this range.
constexpr int min_q = -342, max_q = 308;
// 5^q < 2^128 for 0 <= q <= 55: there T is 10^q * 2^-e exactly.
constexpr int max_exact_q = 55;

struct wide_power {
  std::uint64_t hi, lo;
  int e;
};

struct wide_powers {
  wide_power p[max_q - min_q + 1];

  // A number of 30 limbs of 32 bits, the lowest first: enough for 5^308
  // (716 bits) and for 2^959, of which 2^959 / 5^342 still keeps 165 bits.
  static constexpr int limbs = 30;
  struct big {
    std::uint64_t limb[limbs];
  };

  static constexpr int length(const big& b) {
    for (int i = limbs - 1; i >= 0; --i) {
      for (int k = 31; k >= 0; --k) {
        if ((b.limb[i] >> k) & 1u) return 32 * i + k + 1;
      }
    }
    return 0;
  }
  static constexpr std::uint64_t limb_at(const big& b, int i) { return i >= 0 && i < limbs ? b.limb[i] : 0; }
  // The 64 bits of b from bit `from` up (bits below 0 read as 0).
  static constexpr std::uint64_t bits_from(const big& b, int from) {
    const int i = from >= 0 ? from / 32 : -((31 - from) / 32);  // rounded down
    const int shift = from - 32 * i;                             // 0 to 31
    const std::uint64_t low = limb_at(b, i) | limb_at(b, i + 1) << 32;
    return shift == 0 ? low : low >> shift | limb_at(b, i + 2) << (64 - shift);
  }
  // The top 128 bits of b, truncated, with the exponent of their lowest bit.
  static constexpr wide_power top(const big& b, int exponent) {
    const int n = length(b);
    return {bits_from(b, n - 64), bits_from(b, n - 128), n - 128 + exponent};
  }

  // Step 1: 5^q for q = 0, 1, ...: exact, multiplied by 5 each time; 10^q
  //         is 5^q * 2^q.
  // Step 2: floor(2^959 / 5^q) for q = 1, 2, ...: divided by 5 each time,
  //         which stays exact as floor(floor(a / b) / c) = floor(a / (b c));
  //         10^-q is that * 2^(-q - 959), and its top bits are floor of the
  //         true value's.
  constexpr wide_powers() : p() {
    big b{};
    b.limb[0] = 1;
    for (int q = 0; q <= max_q; ++q) {
      if (q > 0) {
        std::uint64_t carry = 0;
        for (auto& l : b.limb) {
          const std::uint64_t x = l * 5 + carry;
          l = x & 0xFFFFFFFFu;
          carry = x >> 32;
        }
      }
      p[q - min_q] = top(b, q);
    }
    b = big{};
    b.limb[limbs - 1] = std::uint64_t{1} << 31;  // 2^959
    for (int q = 1; q <= -min_q; ++q) {
      std::uint64_t rest = 0;
      for (int i = limbs - 1; i >= 0; --i) {
        const std::uint64_t x = (rest << 32) | b.limb[i];
        b.limb[i] = x / 5;
        rest = x % 5;
      }
      p[-q - min_q] = top(b, -q - 959);
    }
  }
};

constexpr wide_powers powers{};

// The rest that hides a carry is mostly that of a decimal which is a
// short binary fraction (875e-1 is 87.5, 1011 * 2^-1): digits * 10^q for
// q < 0 is such a fraction exactly when 5^-q divides digits (only for -q
// <= 27, as digits < 5^28), and then it is n * 2^q with n = digits / 5^-q:
// one correctly rounded conversion of n, scaled by a power of two that
// keeps it normal. False for the other decimals.
bool dyadic(std::uint64_t digits, int q, double& out) {
  if (q >= 0 || q < -27) return false;
  std::uint64_t five = 1;
  for (int i = 0; i < -q; ++i) five *= 5;
  if (digits % five != 0) return false;
  out = static_cast<double>(digits / five) / static_cast<double>(std::uint64_t{1} << -q);
  return true;
}

}  // namespace

// Let w = digits << z have its top bit set, and T, e the power above: the
// value is W * 2^(e - z) with W = w * 10^q * 2^-e, and the 192-bit product
// X = w * T gives W exactly when T is exact, else W - w < X < W (T lies
// within 1 below its true value): X + d = W with 0 < d < 2^64.
//
// Step 1: X in three words; X >= 2^190, so its top word has 63 or 64 bits.
// Step 2: its top 54 bits m (53 for the double, one for rounding); the
//         s = 9 or 10 bits of the top word below them and the two low
//         words are the rest R of 128 + s bits. Unless R is within 2^64 of
//         its top (the bits of the top word below m all ones, and the middle
//         word too), adding d cannot carry into m: W's top 54 bits are m,
//         and W's rest is R + d, non-zero whenever T is inexact. (Else
//         the decimal is taken by dyadic() or left to the caller.)
// Step 3: round to nearest, ties to even, from the rounding bit and
//         whether W's rest is zero; a mantissa rounded up to 2^53 moves the
//         exponent.
// Step 4: the double from its exponent and mantissa when it is normal.
bool decimal_to_double_wide(std::uint64_t digits, std::int64_t exp10, double& out) {
  if (exp10 < min_q || exp10 > max_q) return false;
  const int q = static_cast<int>(exp10);
  const wide_power& t = powers.p[q - min_q];
  const bool exact = q >= 0 && q <= max_exact_q;
  const int z = 64 - bit_length(digits);
  const std::uint64_t w = digits << z;

  // Step 1.
  std::uint64_t low_hi, high_hi;
  const std::uint64_t x0 = multiply_wide(w, t.lo, low_hi);
  const std::uint64_t high_lo = multiply_wide(w, t.hi, high_hi);
  const std::uint64_t x1 = high_lo + low_hi;
  const std::uint64_t x2 = high_hi + (x1 < low_hi);

  // Step 2.
  const int s = (x2 >> 63) ? 10 : 9;
  const std::uint64_t below = (std::uint64_t{1} << s) - 1;
  if (!exact && (x2 & below) == below && x1 == ~std::uint64_t{0}) return dyadic(digits, q, out);
  const std::uint64_t m = x2 >> s;
  const bool rest = exact ? ((x2 & below) | x1 | x0) != 0 : true;

  // Step 3.
  std::uint64_t mantissa = m >> 1;
  int exponent = 129 + s + t.e - z;  // the value is mantissa * 2^exponent
  mantissa += m & (static_cast<std::uint64_t>(rest) | mantissa) & 1;  // no branch: the bit is a coin toss
  if (mantissa == std::uint64_t{1} << 53) {
    mantissa >>= 1;
    ++exponent;
  }

  // Step 4: normal doubles are mantissa * 2^exponent for -1074 <= exponent <= 971.
  if (exponent < -1074 || exponent > 971) return false;
  const std::uint64_t bits =
      (static_cast<std::uint64_t>(exponent + 1075) << 52) | (mantissa & ((std::uint64_t{1} << 52) - 1));
  std::memcpy(&out, &bits, sizeof out);
  return true;
}

// Decimal digits sixteen at a time, in one SSE register: the six-decimal
// text of a value's micro-units (SSE2), the common case of every value
// written; and the value of a short field's digits (SSSE3), the common case
// of every value read.
//
// x86-64 always has SSE2. SSSE3 (every x86-64 processor of the last fifteen
// years or so) is asked of the processor at run time: the functions that
// need it are compiled for it alone (TILVARO_SSSE3), and their callers check
// have_ssse3() first. Other hosts, compilers without such per-function
// targets, and builds that force the plain arithmetic
// (TILVARO_PORTABLE_ARITHMETIC, so the tests cover that path too), take the
// word-wise digit_chunks.h versions instead.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>

#include "digit_chunks.h"

#if !defined(TILVARO_PORTABLE_ARITHMETIC) && defined(__SSE2__) && (defined(__x86_64__) || defined(_M_X64))
#define TILVARO_SSE2 1
#include <emmintrin.h>
#else
#define TILVARO_SSE2 0
#endif

#if TILVARO_SSE2 && (defined(__GNUC__) || defined(__clang__))
#define TILVARO_LANES 1
#define TILVARO_SSSE3 __attribute__((target("ssse3")))
#include <tmmintrin.h>
#else
#define TILVARO_LANES 0
#endif

#if TILVARO_SSE2
// The ASCII step of the conversions below: '0' in every byte but the 8th,
// which becomes the point.
inline __m128i units_micro_ascii(__m128i digits) {
  return _mm_add_epi8(digits,
                      _mm_set_epi8('0', '0', '0', '0', '0', '0', '0', '.', '0', '0', '0', '0', '0', '0', '0', '0'));
}

// Stores a register of units' eight digits, the point and decimals (and one
// scratch byte), without the units' leading zeros: one mask bit per byte,
// bit 7, the last units digit, always kept. Returns the end of the text.
inline char* store_units_micro(char* out, __m128i v) {
  const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('0'))));
  const int lead = lowest_bit(~zeros | 0x80u);
  const std::uint64_t digits = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v)) >> (8 * lead);
  std::memcpy(out, &digits, 8);
  out += 8 - lead;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_unpackhi_epi64(v, v));  // any alignment
  return out + 7;
}
#endif

#if TILVARO_SSE2
// The texts of two values side by side, from one register of 32-bit lanes
// [units0, tenths0, units1, tenths1], where tenths is micro * 10: each value
// a register of units' eight digits (leading zeros included), then those of
// micro * 10 (< 10^7, so its first digit is 0, made the point, and its last
// is scratch). Preconditions: each units < 10^8, each micro < 10^6.
//
// Step 1: each 32-bit lane split by 10^4 into two 16-bit lanes (x *
//         0xD1B71759 >> 45 is x / 10^4 for x < 10^8: the error, x * 0.12 /
//         2^45, stays below 10^-6); even lanes through one 32 x 32-bit
//         multiplication, odd ones through another, the remainder from a
//         multiply-add by 10^4.
// Step 2: each 16-bit lane (< 10^4) split by 100 into two bytes (x * 5243
//         >> 19 is x / 100 for x < 10^4).
// Step 3: each value's eight bytes (< 100) widened to 16-bit lanes and split
//         by 10 into two digits (x * 6554 >> 16 is x / 10 for x < 100).
// Step 4: ASCII; byte 8, the 0 before the decimals, becomes the point.
struct units_micro_pair {
  __m128i first, second;
};

inline units_micro_pair units_micro_texts(__m128i lanes) {
  // Step 1.
  const __m128i by_e4 = _mm_set1_epi32(static_cast<int>(0xD1B71759u));
  const __m128i even = _mm_srli_epi64(_mm_mul_epu32(lanes, by_e4), 45);
  const __m128i odd = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(lanes, 32), by_e4), 45);
  const __m128i high4 = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
  const __m128i low4 = _mm_sub_epi32(lanes, _mm_madd_epi16(high4, _mm_set1_epi32(10000)));
  __m128i v = _mm_or_si128(high4, _mm_slli_epi32(low4, 16));
  // Step 2. Multipliers the compiler cannot see: one multiplication is
  // cheaper here than the shifts and additions it would put in its place.
  __m128i hundred = _mm_set1_epi16(100);
  __m128i ten = _mm_set1_epi16(10);
  __asm__("" : "+x"(hundred), "+x"(ten));
  const __m128i high2 = _mm_srli_epi16(_mm_mulhi_epu16(v, _mm_set1_epi16(5243)), 3);
  v = _mm_or_si128(high2, _mm_slli_epi16(_mm_sub_epi16(v, _mm_mullo_epi16(high2, hundred)), 8));
  // Steps 3 and 4.
  const auto digits = [ten](__m128i w) {
    const __m128i high1 = _mm_mulhi_epu16(w, _mm_set1_epi16(6554));
    return units_micro_ascii(_mm_or_si128(high1, _mm_slli_epi16(_mm_sub_epi16(w, _mm_mullo_epi16(high1, ten)), 8)));
  };
  const __m128i zero = _mm_setzero_si128();
  return {digits(_mm_unpacklo_epi8(v, zero)), digits(_mm_unpackhi_epi8(v, zero))};
}

// Two values as write_units_micro writes them, the first, sep, the second,
// each after a '-' when its bit in minus is set (bit 0: the first), from
// lanes as units_micro_texts takes them. Precondition: out has room for 48
// bytes (one byte after the text is scratch).
inline char* write_units_micro_pair(char* out, __m128i lanes, unsigned minus, char sep) {
  const units_micro_pair text = units_micro_texts(lanes);
  if (minus & 1) *out++ = '-';
  out = store_units_micro(out, text.first);
  *out++ = sep;
  if (minus & 2) *out++ = '-';
  return store_units_micro(out, text.second);
}
#endif

// Writes units without leading zeros (one digit for 0), a point and the six
// digits of micro, and returns the end of the text. Preconditions:
// units < 10^8, micro < 10^6; out has room for 24 bytes (up to 8 bytes after
// the text are scratch).
inline char* write_units_micro(char* out, std::uint32_t units, std::uint32_t micro) {
  assert(units < 100000000 && micro < 1000000);
#if TILVARO_SSE2
  // The first of a pair whose second is 0 (its steps fall away unused).
  const __m128i lanes = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(units)),
                                           _mm_cvtsi32_si128(static_cast<int>(micro * 10)));
  return store_units_micro(out, units_micro_texts(lanes).first);
#else
  const std::uint64_t word = digits_text8(units);
  out = store_last(out, word, significant_digits(word));
  *out++ = '.';
  return store_last(out, digits_text8(micro), 6);
#endif
}

#if TILVARO_LANES
// Whether the processor has SSSE3: asked once, when the program starts.
// Before that (from another static initializer) the answer is no, which
// only means the plain path.
inline const bool ssse3_present = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") != 0;
}();
inline bool have_ssse3() { return ssse3_present; }

// Sixteen text bytes as digit values: values holds byte - '0' in each lane;
// bit i of nondigits is set when byte i is not a digit (bits 16 and up: 0).
struct digit_lanes {
  __m128i values;
  unsigned nondigits;
};

// Precondition: p[0..15] are readable.
TILVARO_SSSE3 inline digit_lanes load_digit_lanes(const char* p) {
  const __m128i x = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8('0'));
  const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(9)), x);  // unsigned x <= 9
  return {x, ~static_cast<unsigned>(_mm_movemask_epi8(digit)) & 0xFFFFu};
}

// For each n and d from 0 to 7, the byte shuffle that puts the digits of
// lanes [0, n) and [n + 1, n + 1 + d) (skipping the point between them) at
// the end of a register, in order, and zero before them.
struct digit_shuffles {
  alignas(16) signed char order[64][16];
  constexpr digit_shuffles() : order() {
    for (int n = 0; n < 8; ++n) {
      for (int d = 0; d < 8; ++d) {
        for (int k = 0; k < 16; ++k) {  // k: the lane's place from the end
          signed char from = -128;        // high bit: the lane becomes 0
          if (k < d) {
            from = static_cast<signed char>(n + d - k);
          } else if (k < d + n) {
            from = static_cast<signed char>(n - 1 - (k - d));
          }
          order[n * 8 + d][15 - k] = from;
        }
      }
    }
  }
};
inline constexpr digit_shuffles digit_shuffle_table{};

// The number written by the digits of lanes [0, n), then those of
// [n + 1, n + 1 + d): below 10^14. Preconditions: 0 <= n, d <= 7, and those
// lanes hold digits (values from load_digit_lanes).
//
// Step 1: the digits to the end of the register, zero before them.
// Step 2: neighbouring lanes to 2-digit, then 4-digit values (multiply-add).
// Step 3: the four 4-digit values to two 8-digit ones, then one number.
TILVARO_SSSE3 inline std::uint64_t lanes_value(__m128i values, int n, int d) {
  assert(n >= 0 && n <= 7 && d >= 0 && d <= 7);
  // Step 1.
  const __m128i order = _mm_load_si128(reinterpret_cast<const __m128i*>(digit_shuffle_table.order[n * 8 + d]));
  const __m128i digits = _mm_shuffle_epi8(values, order);
  // Step 2: lane pairs weighted 10 and 1, then 100 and 1.
  const __m128i two = _mm_maddubs_epi16(digits, _mm_set1_epi16(0x010A));
  const __m128i four = _mm_madd_epi16(two, _mm_set1_epi32(0x00010064));
  // Step 3: 4-digit values fit 16 bits; pairs weighted 10^4 and 1.
  const __m128i eight = _mm_madd_epi16(_mm_packs_epi32(four, four), _mm_set1_epi32(0x00012710));
  const auto both = static_cast<std::uint64_t>(_mm_cvtsi128_si64(eight));
  return (both & 0xFFFFFFFFu) * 100000000u + (both >> 32);
}
#endif

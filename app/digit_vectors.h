// Decimal digits sixteen at a time, in one SSE2 register: the six-decimal
// text of a value's micro-units, the common case of every value written.
//
// x86-64 always has SSE2. Other hosts, and builds that force the plain
// arithmetic (TILVARO_PORTABLE_ARITHMETIC, so the tests cover that path
// too), take the word-wise digit_chunks.h versions instead.
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

// Writes units without leading zeros (one digit for 0), a point and the six
// digits of micro, and returns the end of the text. Preconditions:
// units < 10^8, micro < 10^6; out has room for 24 bytes (up to 8 bytes after
// the text are scratch).
//
// With SSE2, the register's 16 bytes are the eight digits of units, leading zeros
// included, then those of micro * 10 (< 10^7, so its first digit is 0 and
// its last is scratch):
// Step 1: 64-bit lanes [units, micro * 10] to 32-bit lanes of four digits,
//         each number split by 10^4 (x * 0xD1B71759 >> 45 is x / 10^4 for
//         x < 10^8: the error, x * 0.12 / 2^45, stays below 10^-6).
// Step 2: 32-bit lanes to 16-bit lanes of two digits, split by 100
//         (x * 5243 >> 19 is x / 100 for x < 10^4).
// Step 3: 16-bit lanes to bytes, split by 10 (x * 6554 >> 16 is x / 10 for
//         x < 100).
// Step 4: ASCII; byte 8, the 0 before the decimals, becomes the point.
// Step 5: the units' leading zeros are skipped as a shift of the low half;
//         the high half, point and decimals, is stored right after.
inline char* write_units_micro(char* out, std::uint32_t units, std::uint32_t micro) {
  assert(units < 100000000 && micro < 1000000);
#if TILVARO_SSE2
  // Step 1.
  const __m128i x = _mm_set_epi64x(static_cast<long long>(micro) * 10, units);
  const __m128i high4 = _mm_srli_epi64(_mm_mul_epu32(x, _mm_set1_epi32(static_cast<int>(0xD1B71759u))), 45);
  const __m128i low4 = _mm_sub_epi32(x, _mm_mul_epu32(high4, _mm_set1_epi32(10000)));
  __m128i v = _mm_or_si128(high4, _mm_slli_epi64(low4, 32));
  // Step 2. The high 16 bits of each 32-bit lane are 0 and stay 0.
  const __m128i high2 = _mm_srli_epi16(_mm_mulhi_epu16(v, _mm_set1_epi32(5243)), 3);
  v = _mm_or_si128(high2, _mm_slli_epi32(_mm_sub_epi16(v, _mm_mullo_epi16(high2, _mm_set1_epi16(100))), 16));
  // Step 3.
  const __m128i high1 = _mm_mulhi_epu16(v, _mm_set1_epi16(6554));
  v = _mm_or_si128(high1, _mm_slli_epi16(_mm_sub_epi16(v, _mm_mullo_epi16(high1, _mm_set1_epi16(10))), 8));
  // Step 4.
  v = _mm_add_epi8(v, _mm_set_epi8('0', '0', '0', '0', '0', '0', '0', '.', '0', '0', '0', '0', '0', '0', '0', '0'));
  // Step 5: one mask bit per byte; bit 7, the last units digit, is always
  // kept.
  const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('0'))));
  const int lead = lowest_bit(~zeros | 0x80u);
  const std::uint64_t digits = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v)) >> (8 * lead);
  std::memcpy(out, &digits, 8);
  out += 8 - lead;
  _mm_storeh_pd(reinterpret_cast<double*>(out), _mm_castsi128_pd(v));
  return out + 7;
#else
  const std::uint64_t word = digits_text8(units);
  out = store_last(out, word, significant_digits(word));
  *out++ = '.';
  return store_last(out, digits_text8(micro), 6);
#endif
}

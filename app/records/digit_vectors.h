// Decimal digits sixteen at a time, in one SSE2 register: the six-decimal
// text of a value's micro-units, the common case of every value written.
//
// x86-64 always has SSE2. Other hosts, and builds that force the plain
// arithmetic (TILVARO_PORTABLE_ARITHMETIC, so the tests cover that path
// too), take the word-wise digit_chunks.h version instead.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>

#include "records/digit_chunks.h"

#if TILVARO_SSE2
#include <emmintrin.h>
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
// The text of a value, from a register whose two low 32-bit lanes are
// [units, tenths], where tenths is micro * 10: units' eight digits (leading
// zeros included), then those of micro * 10 (< 10^7, so its first digit is
// 0, made the point, and its last is scratch). Preconditions: units < 10^8,
// micro < 10^6.
//
// Step 1: each 32-bit lane split by 10^4 into two 16-bit lanes (x *
//         0xD1B71759 >> 45 is x / 10^4 for x < 10^8: the error, x * 0.12 /
//         2^45, stays below 10^-6); even lanes through one 32 x 32-bit
//         multiplication, odd ones through another, the remainder from a
//         multiply-add by 10^4.
// Step 2: each 16-bit lane (< 10^4) split by 100 into two bytes (x * 5243
//         >> 19 is x / 100 for x < 10^4).
// Step 3: the eight bytes (< 100) widened to 16-bit lanes and split by 10
//         into two digits (x * 6554 >> 16 is x / 10 for x < 100).
// Step 4: ASCII; byte 8, the 0 before the decimals, becomes the point.
inline __m128i units_micro_text(__m128i lanes) {
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
  const __m128i w = _mm_unpacklo_epi8(v, _mm_setzero_si128());
  const __m128i high1 = _mm_mulhi_epu16(w, _mm_set1_epi16(6554));
  return units_micro_ascii(_mm_or_si128(high1, _mm_slli_epi16(_mm_sub_epi16(w, _mm_mullo_epi16(high1, ten)), 8)));
}

#endif

// Writes units without leading zeros (one digit for 0), a point and the six
// digits of micro, and returns the end of the text. Preconditions:
// units < 10^8, micro < 10^6; out has room for 24 bytes (up to 8 bytes after
// the text are scratch).
inline char* write_units_micro(char* out, std::uint32_t units, std::uint32_t micro) {
  assert(units < 100000000 && micro < 1000000);
#if TILVARO_SSE2
  const __m128i lanes = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(units)),
                                           _mm_cvtsi32_si128(static_cast<int>(micro * 10)));
  return store_units_micro(out, units_micro_text(lanes));
#else
  const std::uint64_t word = digits_text8(units);
  out = store_last(out, word, significant_digits(word));
  *out++ = '.';
  return store_last(out, digits_text8(micro), 6);
#endif
}


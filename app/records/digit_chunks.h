// Decimal digits eight at a time, in one 64-bit word (SWAR).
//
// A word holds eight text bytes in memory order: the first character is the
// lowest byte (little-endian hosts; other hosts take the byte-wise versions).
// These are the fast paths of scanning and formatting; the tests check them
// against the C library's conversions over millions of values.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>

#include "host/compiler.h"

// The index of the lowest set bit of x. Precondition: x != 0.
inline int lowest_bit(std::uint64_t x) {
  assert(x != 0);
#if TILVARO_BUILTIN_BITS
  return __builtin_ctzll(x);
#else
  // x & -x keeps the lowest bit alone; multiplied by a de Bruijn sequence,
  // it leaves a distinct 6-bit pattern in the top bits for each position.
  static constexpr unsigned char position[64] = {
      0,  1,  48, 2,  57, 49, 28, 3,  61, 58, 50, 42, 38, 29, 17, 4,  62, 55, 59, 36, 53, 51,
      43, 22, 45, 39, 33, 30, 24, 18, 12, 5,  63, 47, 56, 27, 60, 41, 37, 16, 54, 35, 52, 21,
      44, 32, 23, 11, 46, 26, 40, 15, 34, 20, 31, 10, 25, 14, 19, 9,  13, 8,  7,  6};
  return position[((x & (0 - x)) * 0x03F79D71B4CB0A89u) >> 58];
#endif
}

// The number of bits of x up to its highest set bit (0 for 0).
inline int bit_length(std::uint64_t x) {
#if TILVARO_BUILTIN_BITS
  return x == 0 ? 0 : 64 - __builtin_clzll(x);
#else
  int n = 0;
  for (int step = 32; step > 0; step >>= 1) {
    if (x >> step) {
      x >>= step;
      n += step;
    }
  }
  return n + static_cast<int>(x);
#endif
}

// The 128-bit product of a and b: returns the low word, stores the high one.
inline std::uint64_t multiply_wide(std::uint64_t a, std::uint64_t b, std::uint64_t& high) {
#if TILVARO_INT128
  __extension__ typedef unsigned __int128 u128;
  const u128 p = static_cast<u128>(a) * b;
  high = static_cast<std::uint64_t>(p >> 64);
  return static_cast<std::uint64_t>(p);
#else
  // Schoolbook on 32-bit halves; the middle sum cannot overflow 64 bits.
  const std::uint64_t a_lo = a & 0xFFFFFFFFu, a_hi = a >> 32, b_lo = b & 0xFFFFFFFFu, b_hi = b >> 32;
  const std::uint64_t ll = a_lo * b_lo, lh = a_lo * b_hi, hl = a_hi * b_lo, hh = a_hi * b_hi;
  const std::uint64_t middle = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
  high = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
  return (middle << 32) | (ll & 0xFFFFFFFFu);
#endif
}

// 10^0 to 10^19, every power of ten a 64-bit word holds.
inline constexpr std::uint64_t integer_powers_of_ten[20] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull, 100000000ull, 1000000000ull,
    10000000000ull, 100000000000ull, 1000000000000ull, 10000000000000ull, 100000000000000ull,
    1000000000000000ull, 10000000000000000ull, 100000000000000000ull, 1000000000000000000ull,
    10000000000000000000ull};

// The eight bytes at p. Precondition: p[0..7] are readable.
inline std::uint64_t load8(const char* p) {
  std::uint64_t w;
#if TILVARO_SWAR
  std::memcpy(&w, p, 8);
#else
  w = 0;
  for (int i = 0; i < 8; ++i) w |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
#endif
  return w;
}

// How many of the eight bytes of w, from the first, are ASCII digits (0-8).
//
// x = w - '0' per byte; a byte is a digit when x < 10. A byte is flagged
// when x has its high bit set or x + 0x76 reaches 0x80. A borrow or carry
// only travels from a flagged byte towards later bytes, so the first flagged
// byte is exactly the first byte that is not a digit.
inline int digit_run(std::uint64_t w) {
#if TILVARO_SWAR
  const std::uint64_t x = w - 0x3030303030303030u;
  const std::uint64_t flagged = (x | (x + 0x7676767676767676u)) & 0x8080808080808080u;
  return flagged == 0 ? 8 : lowest_bit(flagged) >> 3;
#else
  int n = 0;
  while (n < 8 && static_cast<unsigned>(static_cast<unsigned char>(w >> (8 * n)) - '0') < 10) ++n;
  return n;
#endif
}

// The value of the first n digits of w. Preconditions: 1 <= n <= 8 and the
// first n bytes of w are digits.
//
// Step 1: shift the n digits to the top, so the bytes below hold 0 (after
//         subtracting '0' they read as leading zeros).
// Step 2: combine neighbours: bytes to 2-digit values, then to 4-digit
//         values, then the two halves (multiply-add in parallel lanes).
inline std::uint32_t digits_value(std::uint64_t w, int n) {
  assert(n >= 1 && n <= 8 && digit_run(w) >= n);
#if TILVARO_SWAR
  std::uint64_t x = (w - 0x3030303030303030u) << (8 * (8 - n));
  x = (x * 10) + (x >> 8);
  x = (((x & 0x000000FF000000FFu) * 0x000F424000000064u) +
       (((x >> 16) & 0x000000FF000000FFu) * 0x0000271000000001u)) >> 32;
  return static_cast<std::uint32_t>(x);
#else
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + static_cast<unsigned char>(w >> (8 * i)) - '0';
  return v;
#endif
}

// The eight ASCII digits of n, leading zeros included, as a word to store.
// Precondition: n < 10^8.
//
// Step 1: lanes of 32 bits: n / 10^4 and n % 10^4.
// Step 2: lanes of 16 bits: each 4-digit lane split by 100.
// Step 3: lanes of 8 bits: each 2-digit lane split by 10.
// The divisions are multiply-shifts exact over each lane's range.
inline std::uint64_t digits_text8(std::uint32_t n) {
  assert(n < 100000000);
#if TILVARO_SWAR
  const std::uint64_t hi = n / 10000, lo = n % 10000;
  std::uint64_t x = hi | (lo << 32);
  const std::uint64_t h100 = ((x * 10486) >> 20) & 0x0000007F0000007Fu;
  x = h100 | ((x - 100 * h100) << 16);
  const std::uint64_t h10 = ((x * 103) >> 10) & 0x000F000F000F000Fu;
  x = h10 | ((x - 10 * h10) << 8);
  return x + 0x3030303030303030u;
#else
  std::uint64_t w = 0;
  for (int i = 7; i >= 0; --i, n /= 10) w |= static_cast<std::uint64_t>('0' + n % 10) << (8 * i);
  return w;
#endif
}

// How many of the eight digits of word (a digits_text8 result) remain once
// its leading zeros are dropped, keeping one digit for 0: 1 to 8.
inline int significant_digits(std::uint64_t word) {
  const std::uint64_t nonzero = word ^ 0x3030303030303030u;  // a '0' byte becomes 0
  if (nonzero == 0) return 1;
#if TILVARO_SWAR
  return 8 - (lowest_bit(nonzero) >> 3);
#else
  int zeros = 0;
  while (((nonzero >> (8 * zeros)) & 0xFF) == 0) ++zeros;
  return 8 - zeros;
#endif
}

// Writes the last n of the eight digits of word (a digits_text8 result) at
// out, as eight bytes: the bytes after the n are scratch that the caller
// overwrites. Precondition: 1 <= n <= 8 and out[0..7] writable.
inline char* store_last(char* out, std::uint64_t word, int n) {
  assert(n >= 1 && n <= 8);
#if TILVARO_SWAR
  word >>= 8 * (8 - n);
  std::memcpy(out, &word, 8);
#else
  char tmp[8];
  for (int i = 0; i < 8; ++i) tmp[i] = static_cast<char>(word >> (8 * i));
  std::memcpy(out, tmp + (8 - n), static_cast<std::size_t>(n));
#endif
  return out + n;
}

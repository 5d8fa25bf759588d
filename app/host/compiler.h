// What the compiler and the target offer, in one place: every macro that the
// record code and its digit arithmetic test. Each has a plain fallback, and
// TILVARO_PORTABLE_ARITHMETIC forces the plain arithmetic (a test build runs
// the whole suite that way, so the fallbacks are proven equal on any host).
#pragma once

// Function attributes. The record fast paths are small functions called a
// few times per record: inlined, they share their constants and registers.
// The paths of rare fields stay out of line (cold: away from the hot code
// too), so that they do not crowd the common ones.
#if defined(__GNUC__) || defined(__clang__)
#define TILVARO_INLINE inline __attribute__((always_inline))
#define TILVARO_NOINLINE __attribute__((noinline))
#define TILVARO_COLD __attribute__((noinline, cold))
#else
#define TILVARO_INLINE inline
#define TILVARO_NOINLINE
#define TILVARO_COLD
#endif

// Text read a word at a time: a word holds eight text bytes in memory order,
// the first character the lowest byte. Other hosts take the byte-wise code.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define TILVARO_SWAR 1
#else
#define TILVARO_SWAR 0
#endif

// The bit counts and the 64 x 64-bit product use the compiler's built-ins
// where GCC or Clang has them, and plain C++ elsewhere (MSVC, 32-bit
// targets without a 128-bit type).
#if !defined(TILVARO_PORTABLE_ARITHMETIC) && (defined(__GNUC__) || defined(__clang__))
#define TILVARO_BUILTIN_BITS 1
#else
#define TILVARO_BUILTIN_BITS 0
#endif
#if TILVARO_BUILTIN_BITS && defined(__SIZEOF_INT128__)
#define TILVARO_INT128 1
#else
#define TILVARO_INT128 0
#endif

// SSE2 registers for the six-decimal text of a value (digit_vectors.h):
// every x86-64 processor has them.
#if !defined(TILVARO_PORTABLE_ARITHMETIC) && defined(__SSE2__) && (defined(__x86_64__) || defined(_M_X64))
#define TILVARO_SSE2 1
#else
#define TILVARO_SSE2 0
#endif

// The field recognisers of the copy loop: each looks at the buffered text of
// one field and says whether the field has its form. read_record is the
// general scanner alone, and the tests hold every recogniser to it.
//
//   recogniser          text it takes                       what it gives
//   ------------------  ----------------------------------  -------------------------
//   written_code        the written form of a code: '-'?,   the field's end, where
//                       1-7 digits, no leading zero, not    the TAB must stand
//                       "-0"
//   written_value       the written form of a value: '-'?,  the field's end, where
//                       1-7 integer digits (no leading      sep must stand; with
//                       zero but a lone 0, not after '-'),  written_code: the record
//                       '.', exactly 6 decimals             is copied whole
//   plain_code          '-'?, 1-15 digits, no leading zero, its length: copied as
//                       not "-0"; a field                   text
//   plain_value         '-'?, 1-7 integer digits (no        its length and its
//                       leading zero but a lone 0), '.'     decimals: copied as
//                       and 0-6 decimals or no point; not   text, padded to six
//                       a negative zero; a field            decimals
//   exponent_value      plain_value's digits (1-8 in all,   its digits' text and
//                       the first not 0), then 'e' or 'E',  where the point goes:
//                       '+' or '-'?, 1-7 digits; a field;   the exact six-decimal
//                       no rounding to six decimals         text
//   decimal_code        '+' or '-'?, at most 10 digits, in  the code as an int32
//                       the signed 32-bit range; a field
//   field_value         a value as read_value reads it      what read_value gives: a
//                       (value_syntax.h): any sign, digits, decimal (digits,
//                       point, exponent; +INF, -INF, +NAN,  exponent, sign) or INF
//                       -NAN; CRs inside; ending at any     or NAN: formatted from
//                       byte but the NUL sentinel           its digits, or read as
//                                                           the double it rounds to
//
// The recognisers above field_value are shape checks: each takes a subset of
// what read_value reads (and written_code and plain_code of what scan_code
// reads) and copies the text, but for exponent_value, which moves the point.
// field_value is the grammar itself, over the buffered text.
//
// A field ends with white space, or with CR bytes and then white space
// (field_ends); but a value that field_value reads ends where read_value
// stops, as in the general scanner, wherever the byte there is not the NUL
// sentinel (the caller says which ends it takes). White space and CR bytes before a field are skipped
// (skip_space_cr): removing the CRs there changes nothing. Each recogniser
// gives up (0 or nullptr) on anything else, and on a field that runs up to
// the end of the buffered bytes, whose text may go on after a refill: the
// general scanner (record_scan.h) then reads the record from the same place,
// so both give the same result whenever a recogniser answers.
//
// Every recogniser may read 16 bytes past any position before the end of
// the buffered bytes: the reader's padding allows it (text_reader.h), and
// the NUL sentinel at the end is not a field's end.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/compiler.h"
#include "records/digit_chunks.h"
#include "records/scan.h"
#include "records/value_syntax.h"

#if TILVARO_SSE2
#include <emmintrin.h>
#endif

inline const char* skip_space_cr(const char* p) {
  while (is_space(*p) || *p == '\r') ++p;
  return p;
}

// A field that stopped at p ends there when p, past any CRs, is white space.
// The NUL sentinel at the end of the buffered bytes is not.
inline bool field_ends(const char* p) {
  if (p[0] == '\r' && p[1] == '\n') return true;  // the usual line end
  while (*p == '\r') ++p;
  return is_space(*p);
}

// The LF ending the line at p, when it stands within 48 bytes and before
// limit; else nullptr. With SSE2 the 48 bytes are compared at once, in
// line, when they all lie before limit (nearly always); else memchr.
inline const char* line_end(const char* p, const char* limit) {
  const std::size_t room = static_cast<std::size_t>(limit - p);
#if TILVARO_SSE2
  if (room >= 48) {
    const __m128i lf = _mm_set1_epi8('\n');
    std::uint64_t at = 0;
    for (int i = 0; i < 3; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      at |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))) << (16 * i);
    }
    return at == 0 ? nullptr : p + lowest_bit(at);
  }
#endif
  return static_cast<const char*>(std::memchr(p, '\n', room < 48 ? room : 48));
}

// ---- The written form ----

inline const char* written_code(const char* p) {
  const bool negative = *p == '-';
  const char* q = p + negative;
  const int n = digit_run(load8(q));
  if (n == 0 || n == 8 || q[n] != '\t' || (q[0] == '0' && (n > 1 || negative))) return nullptr;
  return q + n;
}

inline const char* written_value(const char* p, char sep) {
  const bool negative = *p == '-';
  const char* q = p + negative;
  const int n = digit_run(load8(q));
  if (n == 0 || n == 8 || q[n] != '.' || digit_run(load8(q + n + 1)) != 6 || q[n + 7] != sep) return nullptr;
  if (q[0] == '0' && (n > 1 || negative)) return nullptr;
  return q + n + 7;
}

// ---- Plain fields: their text is their written form ----

// A code is written as the integer it is, so a plain code's text is its own
// written form, whatever its length.
inline std::size_t plain_code(const char* p) {
  const std::size_t sign = *p == '-';
  const char* q = p + sign;
  int n = digit_run(load8(q));
  if (n == 8) n += digit_run(load8(q + 8));
  if (n == 0 || n > 15 || (q[0] == '0' && (n > 1 || sign))) return 0;
  return field_ends(q + n) ? sign + static_cast<std::size_t>(n) : 0;
}

// What plain_value read of a field, for exponent_value: the integer digits
// (0 when it gave up before them, or on a leading zero), the decimals (-1:
// no point), and where the field would have had to end, the byte after them.
struct value_start {
  const char* stop;
  int integer_digits;
  int decimals;
};

// A plain value's text s has |s| < 10^7, so the double nearest to it is
// within |s| * 2^-53 < 1.2e-9 of it, far inside the half unit (5e-7) that
// would let the six-decimal rounding come out as anything but s again.
// start.decimals gives a plain value's decimals to put_plain_value.
inline std::size_t plain_value(const char* p, value_start& start) {
  const std::size_t sign = *p == '-';
  const char* q = p + sign;
  const int n = digit_run(load8(q));
  start = {p, 0, -1};
  if (n == 0 || n == 8 || (q[0] == '0' && n > 1)) return 0;
  const char* end = q + n;
  int d = -1;
  if (*end == '.') {
    d = digit_run(load8(end + 1));
    if (d > 6) return 0;
    end += 1 + d;
  }
  start = {end, n, d};
  if (!field_ends(end)) return 0;
  if (sign && q[0] == '0' && n == 1) {  // -0, -0., -0.000: zero unless a decimal is not
    bool zero = true;
    for (int i = 0; i < d; ++i) zero = zero && q[2 + i] == '0';
    if (zero) return 0;
  }
  return static_cast<std::size_t>(end - p);
}

// Copies a field of len <= 16 bytes: always 16 bytes, then moves on by len.
// The source may read past the field (the padding allows it); the
// destination bytes after the field are scratch that the next piece
// overwrites.
inline char* put_text(char* out, const char* field, std::size_t len) {
  std::memcpy(out, field, 16);
  return out + len;
}

// Copies a plain_value text and pads it to six decimals: at most 23 bytes
// are stored, 15 of them kept.
inline char* put_plain_value(char* out, const char* field, std::size_t len, int decimals) {
  out = put_text(out, field, len);
  if (decimals < 0) {
    *out++ = '.';
    decimals = 0;
  }
  std::memcpy(out, "00000000", 8);
  return out + (6 - decimals);
}

// ---- Short values in exponent form: their digits with the point moved ----

// A value in exponent form as exponent_value reads it: its digits as text in
// one word (the first in the lowest byte, '0' in every byte after the
// last), and how many of them stand before the point: 1 to 8, or 0 to -5
// when the point stands before them and that many zeros after it.
struct shifted_digits {
  std::uint64_t text;
  int integer_digits;
  bool negative;
};

// A value in exponent form whose six-decimal text needs no rounding: '-'?,
// the digits plain_value takes (1-7, the first not 0, then no point or a
// point and at most 6 more), 1-8 in all; 'e' or 'E', '+' or '-'?, 1-7
// exponent digits; a field. start is what plain_value read of the field:
// the digits and the point, up to the 'e'. With k digits and the exponent
// less the decimals exp10, exp10 >= -6 leaves at most six decimals, and
// k + exp10 <= 8 at most eight integer digits. Gives the end of the field
// and the value; else nullptr.
//
// The text is the value's exact decimal s, which read_value reads as the
// same digits, exponent and sign (fewer than 19 digits: none dropped).
// Its double d lies within |s| * 2^-53 < 0.02 micro-units of s, a whole
// number of micro-units, so format_value rounds d to s: the same text,
// with a sign, since s is not 0. This shape has a short path of its own:
// records of "12 5E3 4E2" took 636 instructions each through read_value and
// format_decimal, 387 through this path and put_shifted_digits (callgrind).
// It is the copy loop's alone: the scan for --check takes such values
// through read_value, where they cost no formatting.
TILVARO_INLINE const char* exponent_value(const char* p, const value_start& start, shifted_digits& v) {
  const char* e = start.stop;
  if ((*e | 0x20) != 'e') return nullptr;
  v.negative = *p == '-';
  const char* q = p + v.negative;
  // Step 1: the digits, gathered into one word without the point.
  const int a = start.integer_digits;
  const int b = start.decimals < 0 ? 0 : start.decimals;
  if (a == 0 || q[0] == '0' || a + b > 8) return nullptr;
  std::uint64_t m = load8(q);
  if (start.decimals >= 0) m = (m & ((std::uint64_t{1} << (8 * a)) - 1)) | (load8(q + a + 1) << (8 * a));  // a <= 7
  const std::uint64_t digits = ~std::uint64_t{0} >> (64 - 8 * (a + b));
  v.text = (m & digits) | (0x3030303030303030u & ~digits);
  // Step 2: the exponent; mostly of one or two digits.
  ++e;
  const bool down = *e == '-';
  e += *e == '-' || *e == '+';
  const std::uint64_t x = load8(e);
  const int c = digit_run(x);
  if (c == 0 || c == 8 || !field_ends(e + c)) return nullptr;
  const auto units = static_cast<std::int32_t>(x & 0xF);
  const std::int32_t two = units * 10 + static_cast<std::int32_t>((x >> 8) & 0xF);
  const auto magnitude = c == 1 ? units : c == 2 ? two : static_cast<std::int32_t>(digits_value(x, c));  // < 10^7
  const std::int32_t exp10 = (down ? -magnitude : magnitude) - b;
  // Step 3: where the point goes.
  if (exp10 < -6 || a + b + exp10 > 8) return nullptr;
  v.integer_digits = a + b + exp10;
  return e + c;
}

// Writes an exponent_value's text: the sign, the integer digits (0 when
// there are none), the point and six decimals, each piece as one word from
// the digits' text. Returns its end; up to 8 bytes after it are scratch.
inline char* put_shifted_digits(char* out, const shifted_digits& v) {
  constexpr std::uint64_t zeros = 0x3030303030303030u;
  *out = '-';
  out += v.negative;
  const int n = v.integer_digits;
  std::uint64_t decimals;
  if (n > 0) {
    store_last(out, v.text, 8);
    out += n;
    decimals = ((v.text >> (4 * n)) >> (4 * n)) | (zeros << (64 - 8 * n));  // two shifts: n may be 8
  } else {
    *out++ = '0';
    decimals = (v.text << (8 * -n)) | (zeros & ((std::uint64_t{1} << (8 * -n)) - 1));
  }
  *out = '.';
  store_last(out + 1, decimals, 8);
  return out + 7;
}

// ---- Decimals: fields read as their digits ----

// Appends the run of digits at p to digits (which wraps when the run is
// longer than 19 digits: the callers give up on such runs) and returns the
// end of the run.
inline const char* take_digits(const char* p, std::uint64_t& digits) {
  for (;;) {
    const std::uint64_t w = load8(p);
    const int n = digit_run(w);
    if (n == 0) return p;
    digits = digits * integer_powers_of_ten[n] + digits_value(w, n);
    p += n;
    if (n < 8) return p;
  }
}

// Skips white space, CR and a sign; returns whether the sign was '-'.
inline bool skip_to_digits(const char*& p) {
  p = skip_space_cr(p);
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  return negative;
}

TILVARO_INLINE const char* decimal_code(const char* p, std::int32_t& code) {
  const bool negative = skip_to_digits(p);
  const char* first = p;
  std::uint64_t n = 0;
  p = take_digits(p, n);
  if (p == first || p - first > 10 || n > 2147483647u + (negative ? 1u : 0u) || !field_ends(p)) return nullptr;
  code = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n));
  return p;
}

// A value read by read_value (value_syntax.h) from the buffered text at p,
// CRs skipped: what it found, d its parts, and end where the field ended
// (before any CRs after it). Gives none for a field that is not a value, and
// for one that reaches the NUL sentinel (the end of the buffered bytes,
// whose text may go on after a refill; or a NUL byte, which ends no field).
//
// The value is read first with CR ending it (the cursor need not look for
// CRs at every step): when it stops at a CR that is not one of the CRs
// before a field's end (field_ends), the CR stands inside the field, and
// field_value_cr reads it again with the CRs skipped.
// Precondition: p stands after white space and CRs (skip_space_cr).
value_form field_value_cr(const char* p, decimal& d, const char*& end);

TILVARO_INLINE value_form field_value(const char* p, decimal& d, const char*& end) {
  text_cursor<false> in(p);
  value_form form = read_value(in, d);
  end = in.at();
  if (*end == '\r' && !field_ends(end)) {
    // Through copies, so that d and end stay in registers on the common path.
    decimal again;
    const char* again_end;
    form = field_value_cr(p, again, again_end);
    d = again;
    end = again_end;
  }
  return *end == '\0' ? value_form::none : form;
}

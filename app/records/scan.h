// Character classes and the integer scan shared by the record reader and the
// dialogue. A Source has int peek() (-1 at the end) and void skip().
#pragma once

#include <cstdint>

// Blank, tab, LF, VT, FF. CR never reaches a scanner: the reader removes it.
inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\f'); }

inline bool is_digit(int c) { return static_cast<unsigned>(c - '0') < 10; }

// Skips white space; returns the first other character, or -1.
template <class Source>
int skip_space(Source& in) {
  int c = in.peek();
  while (is_space(c)) {
    in.skip();
    c = in.peek();
  }
  return c;
}

// After white space: consumes a '+' or '-' if one stands there. Returns
// whether it was '-'; c becomes the character after white space and sign.
template <class Source>
bool skip_space_and_sign(Source& in, int& c, bool& signed_explicitly) {
  c = skip_space(in);
  signed_explicitly = c == '+' || c == '-';
  if (!signed_explicitly) return false;
  const bool negative = c == '-';
  in.skip();
  c = in.peek();
  return negative;
}

enum class int_scan { ok, no_digits, out_of_range };

// After white space: an optional sign and decimal digits, ending at the first
// character that is not a digit, which stays unread. Without digits nothing
// is stored (a sign is consumed). Digits beyond the signed 32-bit range are
// all consumed and nothing is stored.
template <class Source>
int_scan scan_int32(Source& in, std::int32_t& out) {
  int c;
  bool signed_explicitly;
  const bool negative = skip_space_and_sign(in, c, signed_explicitly);
  if (!is_digit(c)) return int_scan::no_digits;
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t n = 0;
  bool too_large = false;
  do {
    n = n * 10 + (c - '0');
    if (n > limit) {
      too_large = true;
      n = limit;  // keeps the product in range while the digits run on
    }
    in.skip();
    c = in.peek();
  } while (is_digit(c));
  if (too_large) return int_scan::out_of_range;
  out = static_cast<std::int32_t>(negative ? -n : n);
  return int_scan::ok;
}

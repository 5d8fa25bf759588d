// The rare fields of decimal_value: long digit runs, long exponents, CRs
// inside a field.
#include "records/record_fields.h"

namespace {

// Appends at most room digits of the run at p to digits, one word at a
// time, and returns the end of the whole run; taken gets how many were
// appended.
inline const char* take_some_digits(const char* p, std::uint64_t& digits, int room, int& taken) {
  taken = 0;
  for (;;) {
    const std::uint64_t w = load8(p);
    const int n = digit_run(w);
    const int k = n < room - taken ? n : room - taken;
    if (k > 0) digits = digits * integer_powers_of_ten[k] + digits_value(w, k);
    taken += k;
    p += n;
    if (n < 8) return p;
  }
}

}  // namespace

TILVARO_NOINLINE
const char* long_decimal_value(const char* p, decimal& value) {
  const char* const field = p;
  const bool negative = skip_to_digits(p);
  const char* const start = p;
  while (*p == '0') ++p;
  bool any_digit = p != start;
  std::uint64_t digits = 0;
  int taken;
  const char* run = p;
  p = take_some_digits(p, digits, 19, taken);
  int significant = taken;
  std::int64_t scale = (p - run) - taken;
  any_digit = any_digit || p != run;
  if (*p == '.') {
    ++p;
    if (significant == 0) {
      const char* zeros = p;
      while (*p == '0') ++p;
      scale -= p - zeros;
      any_digit = any_digit || p != zeros;
    }
    run = p;
    p = take_some_digits(p, digits, 19 - significant, taken);
    scale -= taken;
    any_digit = any_digit || p != run;
  }
  if (!any_digit) return nullptr;
  if ((*p | 0x20) == 'e') {  // an e without digits is exponent 0
    ++p;
    const bool exp_negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    while (*p == '0') ++p;
    std::uint64_t exponent = 0;
    p = take_some_digits(p, exponent, 9, taken);
    scale += exp_negative ? -static_cast<std::int64_t>(exponent) : static_cast<std::int64_t>(exponent);
  }
  if (*p == '\r' && !field_ends(p)) return decimal_value_without_cr(field, value);
  if (!field_ends(p)) return nullptr;
  value = {digits, scale, negative};
  return p;
}

// The text is taken from a copy without its CRs, when the field is at most
// 64 bytes besides them. Returns the end of the field in the buffered text.
TILVARO_NOINLINE
const char* decimal_value_without_cr(const char* p, decimal& value) {
  p = skip_space_cr(p);
  char text[64 + 1 + 16];
  std::size_t n = 0;
  for (; !is_space(*p) && *p != '\0'; ++p) {
    if (*p == '\r') continue;
    if (n == 64) return nullptr;
    text[n++] = *p;
  }
  if (*p == '\0') return nullptr;  // the end of the buffered bytes, or a NUL byte
  std::memset(text + n, ' ', sizeof text - n);
  return long_decimal_value(text, value) == text + n ? p : nullptr;
}

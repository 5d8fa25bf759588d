// The forms in which gen_points writes records: the same track of points
// as the tool's own text, as survey software writes it, and as other
// software's exports do. Integer arithmetic (micrometres) with a splitmix64
// generator only, so one seed gives the same bytes on every machine.
#pragma once

#include <cstdint>

namespace gen {

constexpr std::int64_t micro = 1000000;  // micrometres per metre

struct splitmix64 {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n) for n > 0 (the modulo bias is far below anything a
  // benchmark could see).
  std::int64_t below(std::int64_t n) { return static_cast<std::int64_t>((next() >> 11) % static_cast<std::uint64_t>(n)); }
  // Uniform in [-a, a].
  std::int64_t around(std::int64_t a) { return below(2 * a + 1) - a; }
};


// Writes the decimal digits of u; returns the end.
inline char* put_digits(char* out, std::uint64_t u, int min_digits) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0 || n < min_digits);
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Writes v as a signed integer; returns the end.
inline char* put_signed(char* out, std::int64_t v) {
  if (v >= 0) return put_digits(out, static_cast<std::uint64_t>(v), 1);
  *out++ = '-';
  return put_digits(out, static_cast<std::uint64_t>(-(v + 1)) + 1, 1);
}

// Writes micrometres as metres with exactly six decimals; returns the end.
inline char* put_micro(char* out, std::int64_t v) {
  if (v < 0) {
    *out++ = '-';
    v = -v;  // |v| is far below INT64_MAX for any box gen_points accepts
  }
  const std::uint64_t u = static_cast<std::uint64_t>(v);
  out = put_digits(out, u / micro, 1);
  *out++ = '.';
  return put_digits(out, u % micro, 6);
}

// Writes one record line into out (room for 64 bytes); returns its end.
inline char* put_record(char* out, std::int32_t code, std::int64_t a, std::int64_t b) {
  out = put_signed(out, code);
  *out++ = '\t';
  out = put_micro(out, a);
  *out++ = '\t';
  out = put_micro(out, b);
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

enum class form { canonical, survey, varied, long_fixed, sci, ints, mixed, lead };

// Writes micrometres v as metres with d decimals (0 to 6, truncated toward
// zero; none and no point for 0); returns the end.
inline char* put_decimals(char* out, std::int64_t v, int d) {
  if (v < 0) {
    *out++ = '-';
    v = -v;
  }
  const std::uint64_t u = static_cast<std::uint64_t>(v);
  out = put_digits(out, u / micro, 1);
  if (d == 0) return out;
  *out++ = '.';
  std::uint64_t scale = 1;
  for (int i = d; i < 6; ++i) scale *= 10;
  return put_digits(out, (u % micro) / scale, d);
}

// Writes records in one form. Its random choices come from a generator of
// its own, so the track is the same whatever the form.
class record_writer {
 public:
  record_writer(form f, std::uint64_t seed) : form_(f), rng_{seed ^ 0xC3A5C85C97CB3127ULL} {}

  // Writes one record into out (room for 128 bytes); returns its end.
  char* put(char* out, std::int32_t code, std::int64_t a, std::int64_t b) {
    switch (form_) {
      case form::canonical:
        return put_record(out, code, a, b);
      case form::survey: {
        out = put_signed(out, code);
        *out++ = ' ';
        out = put_decimals(out, a, survey_decimals());
        *out++ = ' ';
        out = put_decimals(out, b, survey_decimals());
        *out++ = '\n';
        return out;
      }
      case form::long_fixed:
        return long_record(out, code, a, b);
      case form::sci: {
        out = put_signed(out, code);
        *out++ = '\t';
        out = sci_value(out, a);
        *out++ = '\t';
        out = sci_value(out, b);
        return put_text(out, "\r\n");
      }
      case form::ints: {
        out = put_signed(out, code);
        *out++ = ' ';
        out = put_signed(out, a / micro);
        *out++ = ' ';
        out = put_signed(out, b / micro);
        *out++ = '\n';
        return out;
      }
      case form::mixed:
        return rng_.below(10) == 0 ? long_record(out, code, a, b) : put_record(out, code, a, b);
      case form::lead: {
        out = put_signed(out, code);
        *out++ = ' ';
        out = lead_value(out, a);
        *out++ = ' ';
        out = lead_value(out, b);
        *out++ = '\n';
        return out;
      }
      case form::varied:
        break;
    }
    static const char* const blanks[] = {" ", "\t", "  ", " \t ", "\t\t"};
    if (rng_.below(8) == 0) out = put_text(out, blanks[rng_.below(5)]);
    out = varied_code(out, code);
    out = put_text(out, blanks[rng_.below(5)]);
    out = varied_value(out, a);
    out = put_text(out, blanks[rng_.below(5)]);
    out = varied_value(out, b);
    return put_text(out, rng_.below(2) ? "\n" : "\r\n");
  }

 private:
  static char* put_text(char* out, const char* s) {
    while (*s) *out++ = *s++;
    return out;
  }

  // The digits of |v| micrometres (at least 7), then more up to count in
  // all: as a double's longest text, 3 to 5 zeros and then noise, so the
  // value stays within 10^-9 of the micrometres (far from a six-decimal
  // tie, where texts cut at 19 digits and whole ones could round apart).
  // Returns the end; *point gets the number of integer digits.
  char* value_digits(char* out, std::int64_t v, int count, int* point) {
    char* const start = out;
    out = put_digits(out, static_cast<std::uint64_t>(v < 0 ? -v : v), 7);
    *point = static_cast<int>(out - start) - 6;
    const int zeros = 3 + static_cast<int>(rng_.below(3));
    for (int i = 0; out - start < count; ++i) *out++ = static_cast<char>('0' + (i < zeros ? 0 : rng_.below(10)));
    return out;
  }

  // Writes digits[0, count) with a point after the first point digits.
  static char* put_point(char* out, const char* digits, int count, int point) {
    for (int i = 0; i < count; ++i) {
      if (i == point) *out++ = '.';
      *out++ = digits[i];
    }
    return out;
  }

  // Full-precision fixed notation: 13 to 20 decimals.
  char* long_value(char* out, std::int64_t v) {
    char digits[48];
    int point;
    const int decimals = 13 + static_cast<int>(rng_.below(8));
    const int count = static_cast<int>(value_digits(digits, v, 0, &point) - digits) - 6 + decimals;
    value_digits(digits, v, count, &point);
    if (v < 0) *out++ = '-';
    return put_point(out, digits, count, point);
  }

  char* long_record(char* out, std::int32_t code, std::int64_t a, std::int64_t b) {
    out = put_signed(out, code);
    *out++ = ' ';
    out = long_value(out, a);
    *out++ = ' ';
    out = long_value(out, b);
    *out++ = '\n';
    return out;
  }

  // 17 significant digits, as %.16e (d.dddddddddddddddde+XX) or %.17g
  // (fixed) write them.
  char* sci_value(char* out, std::int64_t v) {
    char digits[48];
    int point;
    value_digits(digits, v, 17, &point);
    if (v < 0) *out++ = '-';
    if (rng_.below(2)) return put_point(out, digits, 17, point);
    out = put_point(out, digits, 17, 1);
    *out++ = 'e';
    *out++ = '+';
    return put_digits(out, static_cast<std::uint64_t>(point - 1), 2);
  }

  // Leading zeros and 19 to 23 significant digits; 19 digits in exponent
  // form; or millimetres with a 3-digit exponent (601569203.875e-003).
  char* lead_value(char* out, std::int64_t v) {
    char digits[48];
    int point;
    if (v < 0) *out++ = '-';
    switch (rng_.below(3)) {
      case 0: {
        const int count = 19 + static_cast<int>(rng_.below(5));
        value_digits(digits, v, count, &point);
        out = put_digits(out, 0, 1 + static_cast<int>(rng_.below(4)));
        return put_point(out, digits, count, point);
      }
      case 1:
        value_digits(digits, v, 19, &point);
        out = put_point(out, digits, 19, 1);
        out = put_text(out, "e+");
        return put_digits(out, static_cast<std::uint64_t>(point - 1), 2);
      default:
        value_digits(digits, v, 0, &point);
        out = put_point(out, digits, point + 6, point + 3);
        return put_text(out, "e-003");
    }
  }

  int survey_decimals() { return rng_.below(2) ? 3 : static_cast<int>(rng_.below(6)); }

  char* varied_code(char* out, std::int32_t code) {
    switch (rng_.below(8)) {
      case 0:
        *out++ = '+';
        break;
      case 1:
        out = put_text(out, "00");
        break;
      case 2:
        code = -code;
        break;
    }
    return put_signed(out, code);
  }

  // v with 7 to 17 significant digits (digits past the micrometre are
  // random), in fixed or exponent form, with or without sign and zeros.
  char* varied_value(char* out, std::int64_t v) {
    if (rng_.below(4) == 0) v = -v;
    if (v < 0) {
      *out++ = '-';
      v = -v;
    } else if (rng_.below(8) == 0) {
      *out++ = '+';
    }
    char digits[24];
    char* end = put_digits(digits, static_cast<std::uint64_t>(v), 7);
    const int point = static_cast<int>(end - digits) - 6;  // integer digits
    const int significant = 7 + static_cast<int>(rng_.below(11));
    // One draw for the digits past the micrometre, whatever their number,
    // so that the generator's sequence does not depend on the value.
    for (std::uint64_t r = rng_.next(); end - digits < significant; r /= 10) *end++ = static_cast<char>('0' + r % 10);
    int count = static_cast<int>(end - digits);
    if (count > significant && significant >= point) count = significant;
    if (count < point) count = point;
    const std::uint64_t shape = rng_.below(8);
    int shift = 0;  // the point moves left by shift; the exponent says +shift
    if (shape < 2) {
      shift = point - 1;  // d.ddd e+X
    } else if (shape == 2) {
      shift = static_cast<int>(rng_.below(7)) - 3;
    } else if (shape == 3) {
      out = put_text(out, "00");
    }
    const int at = point - shift;  // at least 1
    for (int i = 0; i < count || i < at; ++i) {
      if (i == at) *out++ = '.';
      *out++ = i < count ? digits[i] : '0';
    }
    if (shape < 3) {
      *out++ = rng_.below(2) ? 'e' : 'E';
      if (shift < 0) {
        *out++ = '-';
        shift = -shift;
      } else if (rng_.below(2)) {
        *out++ = '+';
      }
      out = put_digits(out, static_cast<std::uint64_t>(shift), 1 + static_cast<int>(rng_.below(2)));
    }
    return out;
  }

  form form_;
  splitmix64 rng_;
};

}  // namespace gen

// gen_points: writes a realistic point file for benchmarks and sample data.
//
//   gen_points [--form FORM] OUTPUT SIZE SEED [XMIN YMIN XMAX YMAX]
//
// SIZE is a byte count (suffix K, M or G for 10^3, 10^6, 10^9 bytes: the
// records stop at the first one that reaches the size, so the file is at
// most one record plus the header longer) or a record count (suffix r).
// The optional box, in whole metres, is the area the track stays in; the
// default is x 600000..700000, y 2400000..2500000 (Lambert-style metric
// coordinates).
//
// The data records follow a survey track: a position that moves with a
// slowly changing velocity (0 to 3 m per point), bounces off the box edges,
// and carries a few centimetres of measurement noise. Codes (0..999) stay
// the same over runs of points, as feature codes do. The header gives the
// true extent of the track's x and y and a z range between 100 m and 900 m.
// FORM says how the records are written (the track is the same for all):
//   canonical  code TAB x TAB y CR LF, six decimals (the tool's own form);
//   survey     code SPACE x SPACE y LF, 0 to 5 decimals (3 in half of the
//              values), integer values without a point;
//   varied     7 to 17 significant digits, '+' and '-' signs, exponents
//              (e and E, point shifted), leading zeros, blanks and tabs
//              mixed, LF and CR LF mixed.
//
// Everything is integer arithmetic (micrometres) with a splitmix64 generator,
// so one seed gives the same bytes on every machine and library.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

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

struct box {
  std::int64_t xmin, ymin, xmax, ymax;  // micrometres
};

struct record {
  std::int32_t code;
  std::int64_t x, y;  // micrometres
};

// The survey track: deterministic for a seed and a box.
class track {
 public:
  track(std::uint64_t seed, const box& b) : rng_{seed}, box_(b) {
    px_ = b.xmin + rng_.below(b.xmax - b.xmin + 1);
    py_ = b.ymin + rng_.below(b.ymax - b.ymin + 1);
    vx_ = rng_.around(max_speed);
    vy_ = rng_.around(max_speed);
    code_ = static_cast<std::int32_t>(rng_.below(1000));
  }

  record next() {
    vx_ = clamp(vx_ + rng_.around(max_turn));
    vy_ = clamp(vy_ + rng_.around(max_turn));
    px_ = bounce(px_, vx_, box_.xmin, box_.xmax);
    py_ = bounce(py_, vy_, box_.ymin, box_.ymax);
    if (rng_.below(40) == 0) code_ = static_cast<std::int32_t>(rng_.below(1000));
    return {code_, px_ + rng_.around(noise), py_ + rng_.around(noise)};
  }

  // The z range of the survey, in micrometres with centimetre steps.
  void z_range(std::int64_t& zmin, std::int64_t& zmax) {
    zmin = 100 * micro + rng_.below(20000) * 10000;  // 100 m .. 300 m
    zmax = 600 * micro + rng_.below(30001) * 10000;  // 600 m .. 900 m
  }

 private:
  static constexpr std::int64_t max_speed = 3 * micro;  // per point, each axis
  static constexpr std::int64_t max_turn = micro / 5;   // velocity change per point
  static constexpr std::int64_t noise = 30000;          // 3 cm

  static std::int64_t clamp(std::int64_t v) { return v > max_speed ? max_speed : v < -max_speed ? -max_speed : v; }
  // Moves p by v (reversing v on the way back) so that p stays in [lo, hi].
  static std::int64_t bounce(std::int64_t p, std::int64_t& v, std::int64_t lo, std::int64_t hi) {
    p += v;
    if (p < lo) {
      p = 2 * lo - p;
      v = -v;
    } else if (p > hi) {
      p = 2 * hi - p;
      v = -v;
    }
    return p;
  }

  splitmix64 rng_;
  box box_;
  std::int64_t px_, py_, vx_, vy_;
  std::int32_t code_;
};

// Writes the decimal digits of u; returns the end.
char* put_digits(char* out, std::uint64_t u, int min_digits) {
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
char* put_signed(char* out, std::int64_t v) {
  if (v >= 0) return put_digits(out, static_cast<std::uint64_t>(v), 1);
  *out++ = '-';
  return put_digits(out, static_cast<std::uint64_t>(-(v + 1)) + 1, 1);
}

// Writes micrometres as metres with exactly six decimals; returns the end.
char* put_micro(char* out, std::int64_t v) {
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
char* put_record(char* out, std::int32_t code, std::int64_t a, std::int64_t b) {
  out = put_signed(out, code);
  *out++ = '\t';
  out = put_micro(out, a);
  *out++ = '\t';
  out = put_micro(out, b);
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

enum class form { canonical, survey, varied };

// Writes micrometres v as metres with d decimals (0 to 6, truncated toward
// zero; none and no point for 0); returns the end.
char* put_decimals(char* out, std::int64_t v, int d) {
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

struct size_goal {
  bool records = false;  // count is a record count, else a byte count
  std::uint64_t count = 0;
};

bool parse_u64(const char* s, std::uint64_t& v, const char** end) {
  if (*s < '0' || *s > '9') return false;
  errno = 0;
  char* e;
  v = std::strtoull(s, &e, 10);
  if (errno != 0) return false;
  *end = e;
  return true;
}

bool parse_size(const char* s, size_goal& goal) {
  const char* e;
  if (!parse_u64(s, goal.count, &e)) return false;
  std::uint64_t scale = 1;
  if (*e == 'r') {
    goal.records = true;
    ++e;
  } else if (*e == 'K') {
    scale = 1000, ++e;
  } else if (*e == 'M') {
    scale = 1000000, ++e;
  } else if (*e == 'G') {
    scale = 1000000000, ++e;
  }
  if (*e != '\0' || goal.count > UINT64_MAX / scale) return false;
  goal.count *= scale;
  return true;
}

bool parse_metres(const char* s, std::int64_t& v) {
  std::uint64_t u;
  const char* e;
  if (!parse_u64(s, u, &e) || *e != '\0' || u > 1000000000) return false;
  v = static_cast<std::int64_t>(u) * micro;
  return true;
}

int usage() {
  std::fprintf(stderr,
               "usage: gen_points [--form canonical|survey|varied] OUTPUT SIZE SEED [XMIN YMIN XMAX YMAX]\n"
               "  SIZE: bytes (suffix K, M, G = 10^3, 10^6, 10^9) or records (suffix r)\n"
               "  box in whole metres, at least 100 m wide and high\n");
  return 2;
}

// First pass: how many records reach the goal, and the extent they cover.
// The header is written first, as the second pass does, so that the form's
// random choices fall the same way in both.
std::uint64_t plan(form f, std::uint64_t seed, const box& b, const size_goal& goal, box& extent) {
  track t(seed, b);
  record_writer w(f, seed);
  extent = {INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};
  std::uint64_t n = 0, bytes = 0;
  char line[128];
  for (std::int32_t code = 4; code <= 6; ++code) w.put(line, code, b.xmin, b.ymin);
  while (goal.records ? n < goal.count : bytes < goal.count) {
    const record r = t.next();
    bytes += static_cast<std::uint64_t>(w.put(line, r.code, r.x, r.y) - line);
    ++n;
    if (r.x < extent.xmin) extent.xmin = r.x;
    if (r.x > extent.xmax) extent.xmax = r.x;
    if (r.y < extent.ymin) extent.ymin = r.y;
    if (r.y > extent.ymax) extent.ymax = r.y;
  }
  if (n == 0) extent = {b.xmin, b.ymin, b.xmin, b.ymin};
  return n;
}

bool write_file(form f, const char* path, std::uint64_t seed, const box& b, const size_goal& goal) {
  box extent;
  const std::uint64_t n = plan(f, seed, b, goal, extent);
  track t(seed, b);
  record_writer w(f, seed);
  std::int64_t zmin, zmax;
  track(seed ^ 0x5A5A5A5A5A5A5A5AULL, b).z_range(zmin, zmax);

  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "gen_points: cannot create %s: %s\n", path, std::strerror(errno));
    return false;
  }
  static char buffer[1 << 20];
  std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
  char chunk[1 << 16];
  char* p = chunk;
  p = w.put(p, 4, extent.xmin, extent.ymin);
  p = w.put(p, 5, extent.xmax, extent.ymax);
  p = w.put(p, 6, zmin, zmax);
  for (std::uint64_t i = 0; i < n; ++i) {
    if (p - chunk > static_cast<std::ptrdiff_t>(sizeof chunk) - 128) {
      std::fwrite(chunk, 1, static_cast<std::size_t>(p - chunk), file);
      p = chunk;
    }
    const record r = t.next();
    p = w.put(p, r.code, r.x, r.y);
  }
  std::fwrite(chunk, 1, static_cast<std::size_t>(p - chunk), file);
  const bool failed = std::ferror(file) != 0;
  if (std::fclose(file) != 0 || failed) {
    std::fprintf(stderr, "gen_points: cannot write %s: %s\n", path, std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  form f = form::canonical;
  if (argc > 2 && std::strcmp(argv[1], "--form") == 0) {
    const std::string name = argv[2];
    if (name == "survey") {
      f = form::survey;
    } else if (name == "varied") {
      f = form::varied;
    } else if (name != "canonical") {
      return usage();
    }
    argc -= 2;
    argv += 2;
  }
  if (argc != 4 && argc != 8) return usage();
  size_goal goal;
  std::uint64_t seed;
  const char* e;
  if (!parse_size(argv[2], goal) || !parse_u64(argv[3], seed, &e) || *e != '\0') return usage();
  box b{600000 * micro, 2400000 * micro, 700000 * micro, 2500000 * micro};
  if (argc == 8) {
    if (!parse_metres(argv[4], b.xmin) || !parse_metres(argv[5], b.ymin) || !parse_metres(argv[6], b.xmax) ||
        !parse_metres(argv[7], b.ymax) || b.xmax - b.xmin < 100 * micro || b.ymax - b.ymin < 100 * micro)
      return usage();
  }
  return write_file(f, argv[1], seed, b, goal) ? 0 : 1;
}

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
//              mixed, LF and CR LF mixed;
//   long       code SPACE x SPACE y LF, full-precision fixed exports with
//              13 to 20 decimals (601569.2038750000112);
//   sci        code TAB x TAB y CR LF, 17 significant digits as %.16e or
//              %.17g write them;
//   ints       code SPACE x SPACE y LF, whole metres;
//   mixed      the canonical form, one long record in ten;
//   lead       code SPACE x SPACE y LF, leading zeros and 19 to 23
//              significant digits, 19 digits with an exponent, or
//              millimetres with a 3-digit exponent.
//
// Everything is integer arithmetic (micrometres) with a splitmix64 generator,
// so one seed gives the same bytes on every machine and library.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "point_forms.h"

namespace {

using namespace gen;


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
               "usage: gen_points [--form canonical|survey|varied|long|sci|ints|mixed|lead] OUTPUT SIZE SEED [XMIN YMIN XMAX YMAX]\n"
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
    static const struct {
      const char* name;
      form f;
    } names[] = {{"canonical", form::canonical}, {"survey", form::survey}, {"varied", form::varied},
                 {"long", form::long_fixed},     {"sci", form::sci},       {"ints", form::ints},
                 {"mixed", form::mixed},         {"lead", form::lead}};
    bool known = false;
    for (const auto& n : names) {
      if (name == n.name) {
        f = n.f;
        known = true;
      }
    }
    if (!known) {
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

// stdio_merge: the plain C stdio way of merging point files, kept as the
// reference that benchmarks compare tilvaro against (speed and output).
//
//   stdio_merge RESULT INPUT...
//
// A first pass reads each input's three header records with fscanf and
// combines the bounds: running minima start at 4000000 (x, y) and 100000
// (z), running maxima at 0, and a bound is taken only when strictly better.
// The result gets the combined header, then every input's data records in
// order, copied record by record with fscanf("%d%lf%lf") and
// fprintf("%d\t%lf\t%lf\r\n") until a record is incomplete. The result is
// flushed and fsync'ed before the program ends.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct bounds {
  double minx = 4000000.0, miny = 4000000.0, minz = 100000.0;
  double maxx = 0.0, maxy = 0.0, maxz = 0.0;
};

// Reads the three header records of f into h (h[0] first record ...);
// false when one of them is incomplete.
bool read_header(std::FILE* f, double h[3][2]) {
  int code;
  for (int i = 0; i < 3; ++i)
    if (std::fscanf(f, "%d%lf%lf", &code, &h[i][0], &h[i][1]) != 3) return false;
  return true;
}

void combine(bounds& b, double h[3][2]) {
  if (h[0][0] < b.minx) b.minx = h[0][0];
  if (h[0][1] < b.miny) b.miny = h[0][1];
  if (h[2][0] < b.minz) b.minz = h[2][0];
  if (h[1][0] > b.maxx) b.maxx = h[1][0];
  if (h[1][1] > b.maxy) b.maxy = h[1][1];
  if (h[2][1] > b.maxz) b.maxz = h[2][1];
}

std::FILE* open_input(const char* path) {
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) std::fprintf(stderr, "stdio_merge: cannot open %s: %s\n", path, std::strerror(errno));
  return f;
}

// Copies the data records of one input (its header is read and dropped).
bool copy_records(const char* path, std::FILE* out) {
  std::FILE* f = open_input(path);
  if (f == nullptr) return false;
  double h[3][2];
  read_header(f, h);
  int code;
  double x, y;
  while (std::fscanf(f, "%d%lf%lf", &code, &x, &y) == 3) std::fprintf(out, "%d\t%lf\t%lf\r\n", code, x, y);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) std::fprintf(stderr, "stdio_merge: cannot read %s\n", path);
  return !failed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: stdio_merge RESULT INPUT...\n");
    return 2;
  }
  bounds b;
  for (int i = 2; i < argc; ++i) {
    std::FILE* f = open_input(argv[i]);
    if (f == nullptr) return 1;
    double h[3][2];
    const bool ok = read_header(f, h);
    std::fclose(f);
    if (!ok) {
      std::fprintf(stderr, "stdio_merge: %s: incomplete header\n", argv[i]);
      return 1;
    }
    combine(b, h);
  }

  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::fprintf(stderr, "stdio_merge: cannot create %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::fprintf(out, "%d\t%lf\t%lf\r\n", 4, b.minx, b.miny);
  std::fprintf(out, "%d\t%lf\t%lf\r\n", 5, b.maxx, b.maxy);
  std::fprintf(out, "%d\t%lf\t%lf\r\n", 6, b.minz, b.maxz);
  for (int i = 2; i < argc; ++i)
    if (!copy_records(argv[i], out)) return 1;

  if (std::fflush(out) != 0 || std::ferror(out) != 0 || fsync(fileno(out)) != 0) {
    std::fprintf(stderr, "stdio_merge: cannot write %s: %s\n", argv[1], std::strerror(errno));
    std::fclose(out);
    return 1;
  }
  if (std::fclose(out) != 0) {
    std::fprintf(stderr, "stdio_merge: cannot write %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  return 0;
}

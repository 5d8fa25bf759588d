// record_bench: the cost of one point-file record, read and written, with
// tilvaro's read_record/write_record and with fscanf/fprintf.
//
// Two data sets of 1M records each are written to the current directory
// (removed at the end): "typical" repeats the survey record
//   137 TAB 601569.203875 TAB 2401802.265061 CR LF
// and "varied" holds records of the same shape with varying digits (so
// branch prediction cannot learn one line). For each set and each side:
//   read  - every record of the file into code, x, y;
//   write - every record from memory to /dev/null;
//   copy  - read from the file and write to /dev/null, as a merge does.
// Times are reported per record (items/s, from CPU time); a table of ns per
// record (median of the repetitions) and the stdio/tilvaro ratio follows the
// usual benchmark output.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "records/record_copy.h"
#include "records/record_read.h"
#include "streams/text_reader.h"

namespace {

constexpr std::int64_t record_count = 1000000;

struct record {
  std::int32_t code;
  double x, y;
};

struct data_set {
  std::string name;
  std::string path;
  std::vector<record> records;  // the same records, parsed, for the writers
};

std::vector<data_set>& data_sets() {
  static std::vector<data_set> sets;
  return sets;
}

// Writes the records of one data set with a header; each line is
// code TAB x TAB y CR LF with six decimals, from integer micrometres.
bool make_data_set(const std::string& name, bool varied) {
  data_set set{name, "record_bench_" + name + ".zqd", {}};
  std::FILE* f = std::fopen(set.path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fprintf(f, "4\t600000.000000\t2400000.000000\r\n5\t700000.000000\t2500000.000000\r\n"
                  "6\t100.000000\t900.000000\r\n");
  std::uint64_t state = 12345;
  auto next = [&state] {  // splitmix64
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  };
  set.records.reserve(record_count);
  for (std::int64_t i = 0; i < record_count; ++i) {
    std::int32_t code = 137;
    long long x = 601569203875LL, y = 2401802265061LL;  // micrometres
    if (varied) {
      code = static_cast<std::int32_t>(next() % 1000);
      x = 600000000000LL + static_cast<long long>(next() % 100000000000ULL);
      y = 2400000000000LL + static_cast<long long>(next() % 100000000000ULL);
    }
    std::fprintf(f, "%d\t%lld.%06lld\t%lld.%06lld\r\n", code, x / 1000000, x % 1000000, y / 1000000, y % 1000000);
    set.records.push_back({code, static_cast<double>(x) / 1e6, static_cast<double>(y) / 1e6});
  }
  if (std::fclose(f) != 0) return false;
  data_sets().push_back(std::move(set));
  return true;
}

int open_null() {
  const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (fd < 0) std::abort();
  return fd;
}

// ---- tilvaro ----

std::int64_t tilvaro_read_all(const std::string& path, point_writer* out) {
  text_reader in;
  if (in.open(path)) std::abort();
  point_code code;
  double x, y;
  for (int i = 0; i < 3; ++i) read_record(in, code, x, y);
  std::int64_t n = 0;
  while (read_record(in, code, x, y) == 3) {
    if (out != nullptr) write_record(*out, code, x, y);
    benchmark::DoNotOptimize(code);
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
    ++n;
  }
  return n;
}

void tilvaro_read(benchmark::State& state, const data_set* set) {
  for (auto _ : state)
    if (tilvaro_read_all(set->path, nullptr) != record_count) state.SkipWithError("short read");
  state.SetItemsProcessed(state.iterations() * record_count);
}

void tilvaro_write(benchmark::State& state, const data_set* set) {
  const int fd = open_null();
  for (auto _ : state) {
    point_writer out;
    out.attach(fd);
    for (const record& r : set->records) write_record(out, r.code, r.x, r.y);
    if (!out.flush()) state.SkipWithError("write failed");
  }
  ::close(fd);
  state.SetItemsProcessed(state.iterations() * record_count);
}

// copy_record: one record by the paths of the merge's copy loop, which keep
// text already in the written form; byte for byte read_record followed by
// write_record.
void tilvaro_copy_record(benchmark::State& state, const data_set* set) {
  const int fd = open_null();
  for (auto _ : state) {
    point_writer out;
    out.attach(fd);
    text_reader in;
    if (in.open(set->path)) std::abort();
    point_code code;
    double x, y;
    for (int i = 0; i < 3; ++i) read_record(in, code, x, y);
    std::int64_t n = 0;
    while (copy_record(in, out) == 3) ++n;
    if (n != record_count) state.SkipWithError("short read");
    if (!out.flush()) state.SkipWithError("write failed");
  }
  ::close(fd);
  state.SetItemsProcessed(state.iterations() * record_count);
}

void tilvaro_copy(benchmark::State& state, const data_set* set) {
  const int fd = open_null();
  for (auto _ : state) {
    point_writer out;
    out.attach(fd);
    if (tilvaro_read_all(set->path, &out) != record_count) state.SkipWithError("short read");
    if (!out.flush()) state.SkipWithError("write failed");
  }
  ::close(fd);
  state.SetItemsProcessed(state.iterations() * record_count);
}

// ---- stdio ----

std::int64_t stdio_read_all(const std::string& path, std::FILE* out) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) std::abort();
  int code;
  double x, y;
  for (int i = 0; i < 3; ++i)
    if (std::fscanf(f, "%d%lf%lf", &code, &x, &y) != 3) std::abort();
  std::int64_t n = 0;
  while (std::fscanf(f, "%d%lf%lf", &code, &x, &y) == 3) {
    if (out != nullptr) std::fprintf(out, "%d\t%lf\t%lf\r\n", code, x, y);
    benchmark::DoNotOptimize(code);
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
    ++n;
  }
  std::fclose(f);
  return n;
}

void stdio_read(benchmark::State& state, const data_set* set) {
  for (auto _ : state)
    if (stdio_read_all(set->path, nullptr) != record_count) state.SkipWithError("short read");
  state.SetItemsProcessed(state.iterations() * record_count);
}

void stdio_write(benchmark::State& state, const data_set* set) {
  for (auto _ : state) {
    std::FILE* out = std::fopen("/dev/null", "w");
    if (out == nullptr) std::abort();
    for (const record& r : set->records) std::fprintf(out, "%d\t%lf\t%lf\r\n", r.code, r.x, r.y);
    if (std::fclose(out) != 0) state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations() * record_count);
}

void stdio_copy(benchmark::State& state, const data_set* set) {
  for (auto _ : state) {
    std::FILE* out = std::fopen("/dev/null", "w");
    if (out == nullptr) std::abort();
    if (stdio_read_all(set->path, out) != record_count) state.SkipWithError("short read");
    if (std::fclose(out) != 0) state.SkipWithError("write failed");
  }
  state.SetItemsProcessed(state.iterations() * record_count);
}

// ---- report ----

// The console output as usual, plus the items/s of every plain run kept
// by benchmark name for the summary table.
class summary_reporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal: the output is often kept in a file.
  summary_reporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto it = run.counters.find("items_per_second");
      if (it != run.counters.end() && it->second.value > 0)
        ns_per_record_[run.benchmark_name()].push_back(1e9 / it->second.value);
    }
  }

  // The median of the runs of one benchmark, or a negative value if none.
  double ns_per_record(const std::string& name) const {
    const auto it = ns_per_record_.find(name);
    if (it == ns_per_record_.end() || it->second.empty()) return -1;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> ns_per_record_;
};

void print_summary(const summary_reporter& report) {
  std::printf("\n%-8s %-12s %14s %14s %14s\n", "data", "op", "tilvaro ns/rec", "stdio ns/rec", "stdio/tilvaro");
  for (const data_set& set : data_sets()) {
    for (const char* op : {"read", "write", "copy", "copy_record"}) {
      const std::string stdio_op = std::string(op) == "copy_record" ? "copy" : op;
      const double t = report.ns_per_record(std::string("tilvaro/") + op + "/" + set.name);
      const double s = report.ns_per_record("stdio/" + stdio_op + "/" + set.name);
      if (t < 0 || s < 0) continue;
      std::printf("%-8s %-12s %14.1f %14.1f %13.1fx\n", set.name.c_str(), op, t, s, s / t);
    }
  }
  std::printf("copy: read_record + write_record; copy_record: one record by the copy loop's paths (same bytes)\n");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!make_data_set("typical", false) || !make_data_set("varied", true)) {
    std::fprintf(stderr, "record_bench: cannot write the data files in the current directory\n");
    return 1;
  }
  using bench_fn = void (*)(benchmark::State&, const data_set*);
  const std::pair<const char*, bench_fn> benches[] = {
      {"tilvaro/read", tilvaro_read}, {"stdio/read", stdio_read},   {"tilvaro/write", tilvaro_write},
      {"stdio/write", stdio_write},   {"tilvaro/copy", tilvaro_copy}, {"stdio/copy", stdio_copy},
      {"tilvaro/copy_record", tilvaro_copy_record},
  };
  for (const data_set& set : data_sets())
    for (const auto& [name, fn] : benches)
      benchmark::RegisterBenchmark((std::string(name) + "/" + set.name).c_str(), fn, &set)
          ->Unit(benchmark::kMillisecond);

  summary_reporter report;
  benchmark::RunSpecifiedBenchmarks(&report);
  print_summary(report);
  for (const data_set& set : data_sets()) std::remove(set.path.c_str());
  benchmark::Shutdown();
  return 0;
}

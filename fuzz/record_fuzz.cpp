// Fuzzes the record reader with arbitrary bytes and checks its invariants:
//  - read_record stores 0 to 3 fields and never touches a destination past
//    the count it returns;
//  - a record read complete, written and read again, writes the same text;
//  - a code, of whatever length, is written as the integer it is: decimal
//    digits without a '+' or a leading zero, '-' only before a non-zero;
//  - the merge's copy step writes exactly what read_record + write_record do,
//    whichever of its paths a field takes (copied as text and padded to six
//    decimals, formatted from a decimal_ recogniser's value, or the whole
//    record read by the general reader, which read_record is alone), and
//    when a record already in the written form is copied whole;
//  - a small buffer (fields across refills) reads what the default one does,
//    and so does a reader that takes over from another one after the first
//    few records; each finds the first bare CR that a direct search finds;
//  - the copy step cuts the input's one buffer at most once (two later
//    parts), whatever its records are;
//  - the look at an input (scan_input) takes the records read_record takes,
//    stops where it stops, and ranges the values bit for bit, with small
//    buffers too;
//  - format_decimal, wherever it answers, writes what format_value writes
//    for the double nearest the same decimal (the first ten bytes give the
//    digits, the exponent and the sign);
//  - decimal_to_double_wide, wherever it answers, gives the double that the
//    standard library's correctly rounded conversion of the same decimal
//    gives (the same bytes, with exponents from -400 to 400);
//  - read_value takes the same parts and stops at the same place on the
//    copy loop's view (CR ends a value, the field read again) as with CRs
//    skipped throughout; and a number of at most 19 significant digits
//    reads as strtod reads its text without the CRs.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "memory_text.h"
#include "records/decimal_wide.h"
#include "records/input_scan.h"
#include "records/record_copy.h"
#include "records/record_fields.h"
#include "records/record_read.h"
#include "records/split_copy.h"
#include "records/value_syntax.h"
#include "records/value_text.h"

namespace {

const point_code code_mark = 0x5a5a5a5a;
const double value_mark = -1.2345678901234567e-300;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A point_writer whose bytes are collected in a memory file.
struct collected {
  memory_text file;
  int fd = -1;
  point_writer out;
  void reset() {
    fd = file.load(nullptr, 0);
    out.attach(fd);
  }
  std::string bytes() {
    if (!out.flush()) std::abort();
    std::string s(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    if (!s.empty() && ::pread(fd, &s[0], s.size(), 0) != static_cast<ssize_t>(s.size())) std::abort();
    return s;
  }
};

// The code's text: an optional '-', then "0" alone or digits from 1 to 9.
bool canonical_code(const char* p, const char* end) {
  const bool negative = p < end && *p == '-';
  p += negative;
  if (p == end || (*p == '0' && (end - p > 1 || negative))) return false;
  for (; p < end; ++p)
    if (*p < '0' || *p > '9') return false;
  return true;
}

std::string record_text(const point_code& code, double a, double b) {
  static char buf[point_code::max_digits + 16 + 2 * value_text_max + 4];
  char* p = code.format(buf);
  if (!canonical_code(buf, p)) std::abort();
  *p++ = ' ';
  p = format_value(p, a);
  *p++ = ' ';
  p = format_value(p, b);
  return std::string(buf, p);
}

// Reads on for at most steps records (or steps over a byte where no code
// can be read), checking the per-call invariants. Returns what write_record
// makes of the complete records, one per line, and the counts of the
// incomplete ones; ended tells whether the text ended.
std::string read_on(text_reader& in, std::string& complete, int steps, bool& ended) {
  std::string written;
  ended = false;
  for (int step = 0; step < steps; ++step) {
    point_code code = code_mark;
    double a = value_mark, b = value_mark;
    const int n = read_record(in, code, a, b);
    if (n < 0 || n > 3) std::abort();
    if (n < 1 && code != code_mark) std::abort();
    if (n < 2 && !same_bits(a, value_mark)) std::abort();
    if (n < 3 && !same_bits(b, value_mark)) std::abort();
    if (n == 3) {
      const std::string text = record_text(code, a, b) + "\n";
      written += text;
      complete += text;
      continue;
    }
    if (n == 0) {
      if (in.peek() < 0) {
        ended = true;
        return written;
      }
      in.skip();
    }
    written += "|" + std::to_string(n) + "\n";
  }
  return written;
}

std::string read_all(text_reader& in, int fd, std::string& complete) {
  in.attach(fd);
  complete.clear();
  bool ended;
  return read_on(in, complete, 1 << 20, ended);
}

// The first bare CR (a CR run followed by a byte other than LF, before any
// 0x1A) and its line, searched for directly: the watch of a reader that has
// read the whole text found the same.
void check_bare_cr(const text_reader& in, const std::uint8_t* data, std::size_t size) {
  const void* sub = std::memchr(data, 0x1A, size);
  const std::size_t n = sub ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(sub) - data) : size;
  long long line = 0, at = -1, lfs = 0;
  for (std::size_t i = 0; i + 1 < n && at < 0; ++i) {
    if (data[i] == '\n') ++lfs;
    if (data[i] == '\r' && data[i + 1] != '\r' && data[i + 1] != '\n') {
      line = lfs + 1;
      at = static_cast<long long>(i);
    }
  }
  if (in.bare_cr().line() != line || (line != 0 && in.bare_cr().offset() != at)) std::abort();
}

// The first records read through a reader of a few bytes, the rest through
// another that takes over where it stopped (an input read only once, held
// between the passes): the same as one reader reads.
void check_hand_over(int fd, const std::uint8_t* data, std::size_t size, const std::string& with_default) {
  static text_reader rest;
  text_reader head(1 + size % 5);
  ::lseek(fd, 0, SEEK_SET);
  head.attach(fd);
  std::string complete;
  bool ended;
  std::string written = read_on(head, complete, static_cast<int>(size % 5), ended);
  rest.resume(head.release());
  written += read_on(rest, complete, 1 << 20, ended);
  if (written != with_default) std::abort();
  check_bare_cr(rest, data, size);
}

// The written texts, read back, give the same texts again.
void check_round_trip(const std::string& complete, memory_text& file) {
  static text_reader back;
  back.attach(file.load(reinterpret_cast<const std::uint8_t*>(complete.data()), complete.size()));
  std::string again;
  point_code code;
  double a, b;
  while (read_record(back, code, a, b) == 3) again += record_text(code, a, b) + "\n";
  if (again != complete) std::abort();
}

// format_decimal against the double path, on a decimal taken from data.
void check_decimal(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return;
  std::uint64_t digits;
  std::memcpy(&digits, data, sizeof digits);
  digits %= 10000000000000000000u;
  const int exp10 = data[8] % 40 - 30;
  const bool negative = data[9] & 1;
  char fast[32], slow[value_text_max];
  char* end = format_decimal(fast, digits, exp10, negative);
  if (end == nullptr) return;
  char* slow_end = format_value(slow, decimal_to_double_exact(digits, exp10, negative));
  if (std::string(fast, end) != std::string(slow, slow_end)) std::abort();
}

// decimal_to_double_wide against from_chars, on a decimal taken from data.
void check_wide(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return;
  std::uint64_t digits;
  std::memcpy(&digits, data, sizeof digits);
  digits = digits % 10000000000000000000u + 1;
  const int exp10 = (data[8] | data[9] << 8) % 801 - 400;
  double wide;
  if (!decimal_to_double_wide(digits, exp10, wide)) return;
  char text[48];
  char* p = std::to_chars(text, text + 24, digits).ptr;
  *p++ = 'e';
  p = std::to_chars(p, text + sizeof text, exp10).ptr;
  double exact = 0.0;
  std::from_chars(text, p, exact);
  if (!same_bits(wide, exact)) std::abort();
}

// scan_input against a read_record loop over the same text (size bytes at
// data), both read through the readers given, scanning in parts with a
// splitter. Where a record stops may
// differ by CR bytes, which the reading skips either way.
void check_scan(int fd, const std::uint8_t* data, std::size_t size, text_reader& scanned, text_reader& read,
                scan_splitter* splitter = nullptr) {
  ::lseek(fd, 0, SEEK_SET);
  scanned.attach(fd);
  const input_scanned got = scan_input(scanned, splitter);
  const long long end = scanned.offset();
  ::lseek(fd, 0, SEEK_SET);
  read.attach(fd);
  input_scanned want;
  point_code code;
  double x, y;
  for (;;) {
    want.stop = read.offset();
    want.fields = read_record(read, code, x, y);
    if (want.fields != 3) break;
    ++want.records;
    want.first.take(x);
    want.second.take(y);
  }
  const auto same = [](const value_range& p, const value_range& q) {
    return p.any() == q.any() && (!p.any() || (same_bits(p.low(), q.low()) && same_bits(p.high(), q.high())));
  };
  const auto past_cr = [&](long long at) {
    while (at < static_cast<long long>(size) && data[at] == '\r') ++at;
    return at;
  };
  if (got.records != want.records || past_cr(got.stop) != past_cr(want.stop) || got.fields != want.fields ||
      end != read.offset() ||
      !same(got.first, want.first) || !same(got.second, want.second))
    std::abort();
}

// read_value on the first bytes of data, as the copy loop reads a field and
// with CRs skipped throughout; and against strtod.
void check_value(const std::uint8_t* data, std::size_t size) {
  char text[64 + 1 + text_reader::raw_padding];
  const std::size_t n = size < 64 ? size : 64;
  std::memcpy(text, data, n);
  std::memset(text + n, 0, sizeof text - n);  // the NUL sentinel and padding
  if (std::memchr(text, '\0', n) != nullptr) return;  // NUL ends the text here
  decimal quick, plain;
  const char* quick_end;
  const char* const field = skip_space_cr(text);  // where the copy loop calls field_value
  const value_form quick_form = field_value(field, quick, quick_end);
  text_cursor<true> in(field);
  const value_form plain_form = read_value(in, plain);
  if (quick_form == value_form::none) {
    if (plain_form == value_form::number && *in.at() != '\0') std::abort();
    return;
  }
  if (quick_form != plain_form || quick.negative != plain.negative) std::abort();
  text_cursor<true> after(quick_end);
  after.peek();  // both past the CRs after the value (a word's end stops before them)
  in.peek();
  if (after.at() != in.at()) std::abort();
  if (quick_form != value_form::number) return;
  if (quick.digits != plain.digits || quick.exp10 != plain.exp10 || quick.dropped != plain.dropped) std::abort();
  if (quick.dropped) return;
  std::string bare;
  for (const char* p = field; p < quick_end; ++p) {
    if (*p != '\r') bare += *p;
  }
  const double expected = std::strtod(bare.c_str(), nullptr);
  if (std::isinf(expected)) return;  // beyond the range: read_value's decimal gives the largest double
  if (!same_bits(decimal_to_double(quick.digits, quick.exp10, quick.negative), expected)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Made once: a reader's buffer is large, and the fuzzer runs this often.
  static memory_text input, again, other;
  static text_reader reader, a, b;
  static collected copied, rewritten;
  static split_copy parts(16, 3);  // the copy loop on three threads, for every stretch of 16 bytes or more

  const int fd = input.load(data, size);
  std::string complete, complete_small;
  const std::string with_default = read_all(reader, fd, complete);
  check_round_trip(complete, again);
  ::lseek(fd, 0, SEEK_SET);
  text_reader small(1 + size % 31);  // small buffers: refills everywhere
  small.prefetch(size % 2 == 0);     // marked where the read-ahead reads
  if (read_all(small, fd, complete_small) != with_default) std::abort();
  check_bare_cr(reader, data, size);
  check_bare_cr(small, data, size);
  check_hand_over(fd, data, size, with_default);

  // The copy step against read_record + write_record.
  ::lseek(fd, 0, SEEK_SET);
  a.attach(fd);
  b.attach(other.load(data, size));
  copied.reset();
  rewritten.reset();
  const std::size_t started = parts.parts().started;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    point_code code;
    double x, y;
    const std::size_t copied_at_once = size % 2 ? parts.copy(a, copied.out) : copy_records(a, copied.out).count;
    for (std::size_t k = copied_at_once; k > 0; --k) {
      if (read_record(b, code, x, y) != 3) std::abort();
      write_record(rewritten.out, code, x, y);
    }
    const int n = copy_record(a, copied.out);
    const int m = read_record(b, code, x, y);
    if (m == 3) write_record(rewritten.out, code, x, y);
    if (n != m) std::abort();
    if (n == 0) {
      if (a.peek() != b.peek()) std::abort();
      if (a.peek() < 0) break;
      a.skip();
      b.skip();
    }
  }
  if (copied.bytes() != rewritten.bytes()) std::abort();
  if (parts.parts().started - started > 2) std::abort();
  check_scan(fd, data, size, a, b);
  static scan_splitter splitter(3, 16);  // in parts, for every stretch of 16 bytes or more
  check_scan(fd, data, size, a, b, &splitter);
  text_reader scanned_small(1 + size % 29), read_small(1 + size % 29);
  check_scan(fd, data, size, scanned_small, read_small);
  check_decimal(data, size);
  check_wide(data, size);
  check_value(data, size);
  return 0;
}

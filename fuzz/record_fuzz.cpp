// Fuzzes the record reader with arbitrary bytes and checks its invariants:
//  - read_record stores 0 to 3 fields and never touches a destination past
//    the count it returns;
//  - a record read complete, written and read again, writes the same text;
//  - the merge's copy step writes exactly what read_record + write_record do;
//  - a tiny buffer (every field across refills) reads what the default one does.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "memory_text.h"
#include "point_file.h"
#include "value_text.h"

namespace {

constexpr std::int32_t code_mark = 0x5a5a5a5a;
const double value_mark = -1.2345678901234567e-300;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A point_writer whose bytes are collected in a memory file.
struct collected {
  memory_text file;
  int fd = file.load(nullptr, 0);
  point_writer out;
  collected() { out.attach(fd); }
  std::string bytes() {
    if (!out.flush()) std::abort();
    std::string s(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    if (!s.empty() && ::pread(fd, &s[0], s.size(), 0) != static_cast<ssize_t>(s.size())) std::abort();
    return s;
  }
};

std::string record_text(std::int32_t code, double a, double b) {
  char buf[code_text_max + 2 * value_text_max + 4];
  char* p = format_code(buf, code);
  *p++ = ' ';
  p = format_value(p, a);
  *p++ = ' ';
  p = format_value(p, b);
  return std::string(buf, p);
}

// Reads every record (stepping over a byte where no code can be read) and
// checks the per-call invariants; returns what write_record makes of them.
std::string read_all(int fd, std::size_t buffer, memory_text& again) {
  text_reader in(buffer);
  in.attach(fd);
  std::string written;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    std::int32_t code = code_mark;
    double a = value_mark, b = value_mark;
    const int n = read_record(in, code, a, b);
    if (n < 0 || n > 3) std::abort();
    if (n < 1 && code != code_mark) std::abort();
    if (n < 2 && !same_bits(a, value_mark)) std::abort();
    if (n < 3 && !same_bits(b, value_mark)) std::abort();
    if (n == 3) {
      const std::string text = record_text(code, a, b);
      written += text + "\n";
      // Read back, the written text gives the same text again.
      text_reader back;
      back.attach(again.load(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
      std::int32_t c2;
      double a2, b2;
      if (read_record(back, c2, a2, b2) != 3 || record_text(c2, a2, b2) != text) std::abort();
      continue;
    }
    if (n == 0) {
      if (in.peek() < 0) return written;
      in.skip();
    }
    written += "|" + std::to_string(n) + "\n";
  }
  return written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static memory_text input, again;
  const int fd = input.load(data, size);
  const std::string with_default = read_all(fd, text_reader::default_buffer_size, again);
  ::lseek(fd, 0, SEEK_SET);
  if (read_all(fd, 3, again) != with_default) std::abort();

  // The copy step against read_record + write_record.
  ::lseek(fd, 0, SEEK_SET);
  text_reader a, b;
  a.attach(fd);
  static memory_text other;
  b.attach(other.load(data, size));
  collected copied, rewritten;
  for (int guard = 0; guard < 1 << 20; ++guard) {
    const int n = copy_record(a, copied.out);
    std::int32_t code;
    double x, y;
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
  return 0;
}

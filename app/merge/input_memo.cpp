// What the bounds pass keeps of each input: header prints and held inputs.
#include "merge/input_memo.h"

#include <cstring>

#include "merge/state.h"
#include "records/record_read.h"

namespace {

// FNV-1a over the bytes given, 64 bits.
class digest {
 public:
  void add(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) h_ = (h_ ^ b[i]) * 1099511628211ull;
  }
  template <class T>
  void add(const T& v) {
    add(&v, sizeof v);
  }
  std::uint64_t value() const { return h_; }

 private:
  std::uint64_t h_ = 14695981039346656037ull;
};

// The descriptors a run holds beside its held inputs: the standard three,
// the result and its folder, the input being read, the list being read, and
// a margin for the system's own.
constexpr long long own_descriptors = 32;

}  // namespace

header_read read_header(text_reader& in) {
  header_read h;
  digest d;
  point_code code;
  for (int r = 0; r < 3; ++r) {
    double& first = h.values[r == 2 ? 4 : 2 * r];
    double& second = h.values[r == 2 ? 5 : 2 * r + 1];
    h.fields[r] = read_record(in, code, first, second);
    d.add(h.fields[r]);
    if (h.fields[r] >= 1) {
      char text[point_code::max_digits + 16];
      d.add(text, static_cast<std::size_t>(code.format(text) - text));
    }
    if (h.fields[r] >= 2) d.add(first);
    if (h.fields[r] >= 3) d.add(second);
  }
  d.add(in.offset());
  h.print = d.value();
  return h;
}

bool same_input(const input_memo& m, const io_file_id& now, std::uint64_t print) {
  return m.id.same_as(now) && now.size >= m.id.size && print == m.header;
}

bool room_for_held_inputs(long long& held, long long& limit) {
  limit = io_open_limit(0);
  held = 0;
  if (static_cast<long long>(num_arch) + own_descriptors <= limit) return true;
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    const image& input = im_number[static_cast<std::size_t>(i)];
    if (input.from_stdin) {
      ++held;
      continue;
    }
    const io_file_id id = io_identity_of(opened_path(input.name));
    if (id.known && id.size < 0) ++held;
  }
  limit = io_open_limit(held + own_descriptors);
  return held + own_descriptors <= limit;
}

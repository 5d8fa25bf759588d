// The bounds pass: each input's header, three records, and what the copy
// pass needs kept of the input.
#include <cerrno>

#include "console/diagnostic.h"
#include "host/host_names.h"
#include "host/io.h"
#include "merge/passes.h"

namespace {

// A running bound takes a header value only when the value is beyond it.
// A NaN compares false both ways and changes nothing.
void take_lower(double& bound, double value) {
  if (bound > value) bound = value;
}
void take_higher(double& bound, double value) {
  if (bound < value) bound = value;
}

// The bounds pass's look at one input: its header read into b, and what
// the copy pass needs kept in memo. A regular file is read through head
// (a few dozen bytes, one small read) and closed; any other input through
// once, a reader of one byte at a time, so that nothing beyond the header
// is taken from it, and held open.
run_end bound_input(image& input, text_reader& head, text_reader& once, input_memo& memo, bounds& b,
                    const io_file_id& result_id, bool& result_warned) {
  int fd = -1;
  bool owned = true;
  if (const failure f = open_input(input, fd, owned)) return run_end::of(run_end::kind::unknown, input.name, f);
  const io_file_id id = io_identity(fd);
  memo.once = input.from_stdin || id.size < 0;
  text_reader& in = memo.once ? once : head;
  owned ? in.adopt(fd) : in.attach(fd);
  if (!memo.once) {
    memo.id = id;
    if (input.size < 0) input.size = id.size;
  }
  if (!result_warned && id.same_as(result_id)) {
    warn(opened_path(input.name), "this input is the result's file; what it held before this run is merged");
    result_warned = true;
  }
  const header_read h = read_header(in);
  if (in.failed()) return unreadable(in, input.name);
  b.take(h);
  memo.header = h.print;
  memo.header_fields = h.fields[0];
  if (memo.once) {
    memo.rest = in.release();
  } else {
    in.close();
  }
  return {};
}

}  // namespace

void bounds::take_value(int k, double& bound, double value, bool lower) {
  if (tight && !(given & 1u << k)) {
    if (value != value) return;
    bound = value;
    given |= 1u << k;
  } else {
    lower ? take_lower(bound, value) : take_higher(bound, value);
  }
}

void bounds::take(const header_read& h) {
  const int n1 = h.fields[0], n2 = h.fields[1], n3 = h.fields[2];
  if (n1 >= 2) take_value(0, minx, h.values[0], true);
  if (n1 >= 3) take_value(1, miny, h.values[1], true);
  if (n3 >= 2) take_value(2, minalt, h.values[4], true);
  if (n2 >= 2) take_value(3, maxx, h.values[2], false);
  if (n2 >= 3) take_value(4, maxy, h.values[3], false);
  if (n3 >= 3) take_value(5, maxalt, h.values[5], false);
}

failure open_input(const image& input, int& fd, bool& owned) {
  owned = !input.from_stdin;
  if (input.from_stdin) {
    fd = io_stdin;
    return {};
  }
  const std::string path = opened_path(input.name);
  if (path.find('\0') != std::string::npos) return failure::of_errno(ENOENT, step::opening);
  if (const failure refused = name_refusal(path)) return refused.while_doing(step::opening);
  return io_open_read(path, fd);
}

run_end unreadable(text_reader& f1, const std::string& nomim3) {
  const failure f = f1.failed();
  f1.close();
  return run_end::of(run_end::kind::file, nomim3, f);
}

run_end bounds_pass(std::vector<input_memo>& memos, bounds& b) {
  // An input that is the result's own file (named so, or reached through
  // another name or a link) is read as it was before this run: the result
  // replaces it only at the end. Said once.
  const io_file_id result_id = choices.to_stdout ? io_file_id{} : io_identity_of(f2.target());
  bool result_warned = false;
  text_reader head(4096);  // a header is a few dozen bytes: one small read each
  text_reader once(1);
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    const std::size_t slot = static_cast<std::size_t>(i);
    if (run_end end = bound_input(im_number[slot], head, once, memos[slot], b, result_id, result_warned)) return end;
  }
  return {};
}

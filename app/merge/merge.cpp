// The merge: bounds pass over the headers, then the copy pass.
#include "merge/merge.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/diagnostic.h"
#include "console/progress.h"
#include "host/host_names.h"
#include "host/io.h"
#include "host/terminal.h"
#include "merge/input_memo.h"
#include "merge/state.h"
#include "records/record_read.h"
#include "records/scan.h"
#include "records/split_copy.h"
#include "records/value_text.h"

namespace {

std::string value_text(double v) {
  char buf[value_text_max];
  return std::string(buf, format_value(buf, v));
}

// Opens an input as the run names it; fd gets its descriptor, which the
// caller closes only when owned (standard input is not). Returns "" when it
// is open, otherwise the reason it is not (also for a path the file system
// cannot take as it is, or would take for another file: host_names.h).
std::string open_input(const image& input, int& fd, bool& owned) {
  owned = !input.from_stdin;
  if (input.from_stdin) {
    fd = io_stdin;
    return "";
  }
  const std::string path = opened_path(input.name);
  if (path.find('\0') != std::string::npos) return std::strerror(ENOENT);
  std::string refused = name_refusal(path);
  if (!refused.empty()) return refused;
  const int err = io_open_read(path, fd);
  return err == 0 ? std::string() : std::strerror(err);
}

// An input that cannot be opened in the bounds pass ends the run.
int unknown(const std::string& nomim3, const std::string& reason) {
  complain(opened_path(nomim3), reason);
  return abandon("\n\tFile " + nomim3 + " unknown\n");
}

// A running bound takes a header value only when the value is beyond it.
// A NaN compares false both ways and changes nothing.
void take_lower(double& bound, double value) {
  if (bound > value) bound = value;
}
void take_higher(double& bound, double value) {
  if (bound < value) bound = value;
}

// The running bounds. They start at fixed values (4000000 for x and y,
// 100000 for z, maxima 0), so a minimum never exceeds its start and a
// maximum is never below 0: results and their readers rely on that box.
// Tight bounds (choices.tight_bounds) are the inputs' own instead: a bound's
// first header value replaces its start, which stays only for a bound that
// no input gives (no input at all, or only headers cut short or NaN).
struct bounds {
  double minx = 4000000.0, miny = 4000000.0, minalt = 100000.0;
  double maxx = 0.0, maxy = 0.0, maxalt = 0.0;
  bool tight = false;
  unsigned given = 0;  // bit k: the bound k (in the order above) has taken a value

  void take_value(int k, double& bound, double value, bool lower) {
    if (tight && !(given & 1u << k)) {
      if (value != value) return;
      bound = value;
      given |= 1u << k;
    } else {
      lower ? take_lower(bound, value) : take_higher(bound, value);
    }
  }

  // A header cut short gives the fields it holds; the fields it does not
  // reach contribute nothing (not the previous input's values).
  void take(const header_read& h) {
    const int n1 = h.fields[0], n2 = h.fields[1], n3 = h.fields[2];
    if (n1 >= 2) take_value(0, minx, h.values[0], true);
    if (n1 >= 3) take_value(1, miny, h.values[1], true);
    if (n3 >= 2) take_value(2, minalt, h.values[4], true);
    if (n2 >= 2) take_value(3, maxx, h.values[2], false);
    if (n2 >= 3) take_value(4, maxy, h.values[3], false);
    if (n3 >= 3) take_value(5, maxalt, h.values[5], false);
  }
};

// An input whose bytes cannot be read (a folder, an I/O error) ends the run.
int unreadable(text_reader& f1, const std::string& nomim3) {
  const int err = f1.error();
  f1.close();
  return file_failed(nomim3, "cannot be read", std::strerror(err));
}

// The bounds pass's look at one input: its header read into b, and what
// the copy pass needs kept in memo. A regular file is read through head
// (a few dozen bytes, one small read) and closed; any other input through
// once, a reader of one byte at a time, so that nothing beyond the header
// is taken from it, and held open. Returns 0, or the exit status of a run
// that has ended.
int bound_input(image& input, text_reader& head, text_reader& once, input_memo& memo, bounds& b,
                const io_file_id& result_id, bool& result_warned) {
  int fd = -1;
  bool owned = true;
  const std::string failed = open_input(input, fd, owned);
  if (!failed.empty()) return unknown(input.name, failed);
  const io_file_id id = io_identity(fd);
  memo.once = input.from_stdin || id.size < 0;
  text_reader& in = memo.once ? once : head;
  owned ? in.adopt(fd) : in.attach(fd);
  if (!memo.once) {
    memo.id = id;
    if (input.size < 0) input.size = id.size;
  }
  if (!result_warned && id.same_as(result_id)) {
    complain(opened_path(input.name), "warning: this input is the result's file; what it held before this run is merged");
    result_warned = true;
  }
  const header_read h = read_header(in);
  if (in.error() != 0) return unreadable(in, input.name);
  b.take(h);
  memo.header = h.print;
  memo.header_fields = h.fields[0];
  if (memo.once) {
    memo.rest = in.release();
  } else {
    in.close();
  }
  return 0;
}

// The copy of an input stopped at a record that could not be read, whose
// text starts at offset start (after the last record copied). Unless only
// white space follows there (the input ended cleanly), one warning line on
// standard error names the line where that text begins and how many bytes
// from there on were not copied, counted from the file's size. The line is
// counted by reading the input again from its start, which is done only
// when the warning is due. An input read once is not read on: the warning
// gives the byte where the record begins, and says that the rest was not
// read.
void warn_if_cut_short(text_reader& f1, const std::string& nomim3, bool once, int fields, long long start) {
  const std::string where = "warning: the copy stopped at ";
  const std::string why = ", where a record cannot be read; ";
  if (once || !f1.seek(start)) {
    if (fields == 0 && f1.peek() < 0) return;  // the record found the end: a clean end
    // A record that stored no field begins where the reading stopped.
    const long long at = fields == 0 ? f1.offset() : start;
    complain(opened_path(nomim3), where + "byte " + std::to_string(at) + why + "the rest was not read");
    return;
  }
  if (skip_space(f1) < 0) return;  // white space to the end: a clean end
  const long long first = f1.offset();
  long long line = 1;
  f1.seek(0);
  while (f1.offset() < first && f1.peek() >= 0) {
    const char* end = f1.pos() + std::min<long long>(f1.limit() - f1.pos(), first - f1.offset());
    line += std::count(f1.pos(), end, '\n');
    f1.advance_to(end);
  }
  const long long size = io_identity(f1.fd()).size;
  const long long rest = size > first ? size - first : 0;
  complain(opened_path(nomim3), where + "line " + std::to_string(line) + why + std::to_string(rest) +
                                    " bytes from there on were not copied");
}

// The input sizes added up, for the progress line; 0 when one is unknown.
// Each size is known from the folder's listing or from the bounds pass.
std::uint64_t total_size() {
  std::uint64_t total = 0;
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    const long long size = im_number[static_cast<std::size_t>(i)].size;
    if (size < 0) return 0;
    total += static_cast<std::uint64_t>(size);
  }
  return total;
}

// Opens input again for the copy pass into f1, its header skipped: a regular
// file anew, checked against what the bounds pass saw of it; an input read
// once where the bounds pass left it. Returns 0, or the exit status of a
// run that has ended.
int reopen_input(const image& input, text_reader& f1, input_memo& memo) {
  if (memo.once) {
    f1.resume(std::move(memo.rest));
    return 0;
  }
  int fd = -1;
  bool owned = true;
  const std::string failed = open_input(input, fd, owned);
  if (!failed.empty()) return file_failed(input.name, "cannot be opened again", failed);
  f1.adopt(fd);
  const io_file_id now = io_identity(fd);
  const header_read h = read_header(f1);
  if (f1.error() != 0) return unreadable(f1, input.name);
  if (!same_input(memo, now, h.print)) {
    f1.close();
    complain(opened_path(input.name), "changed while it was being merged");
    return abandon("\n\tFile " + input.name + " changed while it was being merged\n");
  }
  return 0;
}

// Bare CR line ends among the bytes the copy of an input read: the reading
// joins the text on both sides of each, as a point file is read, which the
// user is told once per input.
void warn_if_bare_cr(const text_reader& f1, const std::string& nomim3) {
  const bare_cr_watch& cr = f1.bare_cr();
  if (cr.line() == 0 || cr.offset() >= f1.offset()) return;
  complain(opened_path(nomim3), "warning: bare CR line ends at line " + std::to_string(cr.line()) +
                                    ": the numbers on both sides of each are read as one");
}

// Where the copy of an input ended: the record there, and its fields read.
struct copy_end {
  long long start;  // where the record that ended the copy begins
  int fields;       // how many of its fields were read
};

// Copies every complete data record from f1 to the result. A write that
// fails ends the copy at once: reading on could not change the outcome.
copy_end copy_records_of(text_reader& f1, split_copy& copier) {
  point_code val;
  double dval1, dval2;
  for (;;) {
    copier.copy(f1, f2.out);
    if (f2.out.error() != 0) return {f1.offset(), 0};
    // The record the copy loop left (its fast paths do not take it, or it
    // runs past the buffered bytes): read in full, refilling as needed.
    const long long start = f1.offset();
    const int fields = read_record(f1, val, dval1, dval2);
    if (fields != 3) return {start, fields};
    write_record(f2.out, val, dval1, dval2);
  }
}

// Whether the result goes to standard output whose reader has gone: the
// run then ends quietly, nobody being left to read a message there.
bool reader_gone() { return choices.to_stdout && f2.out.error() == EPIPE; }

// A result that cannot be written ends the run.
int not_written(int err) {
  if (reader_gone()) {
    f2.discard();
    return 1;
  }
  return file_failed(f2.name, "cannot be written", std::strerror(err));
}

// The copy pass over every input, input after input. The progress line
// counts each buffer of input as it is read, and is erased before the
// console writes and before any message. Returns 0, or the exit status of
// a run that has ended.
int copy_pass(std::vector<input_memo>& memos) {
  text_reader f1;  // the input being copied
  // Each input is read to its end, so it is read ahead on a second thread.
  f1.prefetch(true);
  split_copy copier;  // the copy loop, on two threads for large stretches
  progress_line progress;
  const bool share_line = choices.progress && !choices.to_stdout && stderr_shares_console();
  if (choices.progress) {
    progress.start(total_size());
    f1.observe(progress_line::count, &progress);
  }
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    const image& input = im_number[static_cast<std::size_t>(i)];
    input_memo& memo = memos[static_cast<std::size_t>(i)];
    const std::string& nomim3 = input.name;
    const std::string file_line = "\tFile " + std::to_string(i) + " Name : " + nomim3 + " ";
    progress.erase();
    say("\n" + file_line);
    progress.follow(share_line ? file_line : "");
    if (const int ended = reopen_input(input, f1, memo)) {
      progress.finish();
      return ended;
    }
    const copy_end end = copy_records_of(f1, copier);
    if (f1.error() != 0) {
      progress.finish();
      return unreadable(f1, nomim3);
    }
    if (const int err = f2.out.error()) {
      f1.close();
      progress.finish();
      return not_written(err);
    }
    progress.erase();
    warn_if_bare_cr(f1, nomim3);
    f1.observe(nullptr, nullptr);  // the warning's second reading is not progress
    if (memo.header_fields < 3) {
      // An empty file, or one that is not a point file: said once, here.
      complain(opened_path(nomim3), "warning: holds no complete header record; none of its records are copied");
    } else {
      warn_if_cut_short(f1, nomim3, memo.once, end.fields, end.start);
    }
    f1.close();
    if (choices.progress) f1.observe(progress_line::count, &progress);
  }
  progress.finish();
  return 0;
}

}  // namespace

int treatment() {
  assert(num_arch <= 0 || im_number.size() > static_cast<std::size_t>(num_arch));
  assert(f2.is_open());
  bounds b;
  b.tight = choices.tight_bounds;
  say("\n\tTreatment");

  // An input that is the result's own file (named so, or reached through
  // another name or a link) is read as it was before this run: the result
  // replaces it only at the end. Said once.
  const io_file_id result_id = choices.to_stdout ? io_file_id{} : io_identity_of(f2.target());
  bool result_warned = false;

  // Bounds pass: each input's header, three records.
  std::vector<input_memo> memos(static_cast<std::size_t>(std::max<std::int32_t>(num_arch, 0)) + 1);
  {
    text_reader head(4096);  // a header is a few dozen bytes: one small read each
    text_reader once(1);
    for (std::int64_t i = 1; i <= num_arch; ++i) {
      const std::size_t slot = static_cast<std::size_t>(i);
      if (const int ended = bound_input(im_number[slot], head, once, memos[slot], b, result_id, result_warned))
        return ended;
    }
  }

  say("\n\n\tmin x = " + value_text(b.minx) + " min y = " + value_text(b.miny) + " ");
  say("\n\tmax x = " + value_text(b.maxx) + " max y = " + value_text(b.maxy) + " ");
  say("\n\tmin z = " + value_text(b.minalt) + " max z = " + value_text(b.maxalt) + " ");

  write_record(f2.out, 4, b.minx, b.miny);
  write_record(f2.out, 5, b.maxx, b.maxy);
  write_record(f2.out, 6, b.minalt, b.maxalt);

  say("\n");

  if (const int ended = copy_pass(memos)) return ended;

  std::string reason;
  if (!f2.finish(reason)) return reader_gone() ? 1 : file_failed(f2.name, "cannot be written", reason);
  // The result is in place: whatever the folder's sync says, the run has succeeded.
  if (!f2.warning().empty()) complain(opened_path(f2.name), "warning: the folder could not be synced: " + f2.warning());
  return 0;
}

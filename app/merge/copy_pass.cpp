// The copy pass: every input opened again (or resumed) and its data records
// copied into the result, with the warnings each input earns.
#include <cerrno>
#include <string>

#include "console/console.h"
#include "console/diagnostic.h"
#include "console/progress.h"
#include "host/io.h"
#include "host/terminal.h"
#include "merge/cut_place.h"
#include "merge/passes.h"
#include "records/input_copy.h"
#include "records/record_read.h"

namespace {

// The copy of an input stopped at a record that could not be read, whose
// text starts at offset start (after the last record copied). Unless only
// white space follows there (the input ended cleanly), one warning line on
// standard error names the line where that text begins and how many bytes
// from there on were not copied (cut_place.h); for an input read once, the
// byte where the record begins, and that the rest was not read.
void warn_if_cut_short(text_reader& f1, const std::string& nomim3, bool once, int fields, long long start) {
  const cut_place c = find_cut(f1, once, fields, start, false);
  if (!c.cut) return;
  const std::string where = "the copy stopped at ";
  const std::string why = ", where a record cannot be read; ";
  if (!c.counted) {
    warn(opened_path(nomim3), where + "byte " + std::to_string(c.byte) + why + "the rest was not read");
  } else {
    warn(opened_path(nomim3), where + "line " + std::to_string(c.line) + why + std::to_string(c.rest) +
                                  " bytes from there on were not copied");
  }
}

// Bare CR line ends among the bytes the copy of an input read: the reading
// joins the text on both sides of each, as a point file is read, which the
// user is told once per input.
void warn_if_bare_cr(const text_reader& f1, const std::string& nomim3) {
  const bare_cr_watch& cr = f1.bare_cr();
  if (cr.line() == 0 || cr.offset() >= f1.offset()) return;
  warn(opened_path(nomim3), "bare CR line ends at line " + std::to_string(cr.line()) +
                                ": the numbers on both sides of each are read as one");
}

// Opens input again for the copy pass into f1, its header skipped: a regular
// file anew, checked against what the bounds pass saw of it; an input read
// once where the bounds pass left it.
run_end reopen_input(const image& input, text_reader& f1, input_memo& memo) {
  if (memo.once) {
    f1.resume(std::move(memo.rest));
    return {};
  }
  int fd = -1;
  bool owned = true;
  if (const failure f = open_input(input, fd, owned))
    return run_end::of(run_end::kind::file, input.name, f.while_doing(step::reopening));
  f1.adopt(fd);
  const io_file_id now = io_identity(fd);
  const header_read h = read_header(f1);
  if (f1.failed()) return unreadable(f1, input.name);
  if (!same_input(memo, now, h.print)) {
    f1.close();
    return run_end::of(run_end::kind::changed, input.name);
  }
  return {};
}

// One input's turn: opened again, copied, its warnings said.
run_end copy_one(const image& input, input_memo& memo, text_reader& f1, split_copy& copier, progress_line& progress) {
  if (run_end end = reopen_input(input, f1, memo)) return end;
  const input_copied copied = copy_input(f1, f2.out, copier);
  if (f1.failed()) return unreadable(f1, input.name);
  if (const failure f = f2.out.failed()) {
    f1.close();
    return not_written(f);
  }
  progress.erase();
  warn_if_bare_cr(f1, input.name);
  f1.observe(nullptr, nullptr);  // the warning's second reading is not progress
  if (memo.header_fields < 3) {
    // An empty file, or one that is not a point file: said once, here.
    warn(opened_path(input.name), "holds no complete header record; none of its records are copied");
  } else {
    warn_if_cut_short(f1, input.name, memo.once, copied.fields, copied.stop);
  }
  f1.close();
  if (choices.progress) f1.observe(progress_line::count, &progress);
  return {};
}

}  // namespace

run_end copy_pass(std::vector<input_memo>& memos) {
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
  run_end end;
  for (std::int64_t i = 1; i <= num_arch && !end; ++i) {
    const image& input = im_number[static_cast<std::size_t>(i)];
    const std::string file_line = "\tFile " + std::to_string(i) + " Name : " + input.name + " ";
    progress.erase();
    say("\n" + file_line);
    progress.follow(share_line ? file_line : "");
    end = copy_one(input, memos[static_cast<std::size_t>(i)], f1, copier, progress);
  }
  progress.finish();
  return end;
}

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

run_end not_written(const failure& f) {
  if (choices.to_stdout && f.error == EPIPE) return run_end::of(run_end::kind::reader_gone, f2.name);
  return run_end::of(run_end::kind::file, f2.name, f);
}

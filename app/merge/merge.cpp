// The merge: bounds pass over the headers, then the copy pass.
#include "merge.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <string>

#include "console.h"
#include "diagnostic.h"
#include "host_names.h"
#include "io.h"
#include "progress.h"
#include "record_read.h"
#include "scan.h"
#include "split_copy.h"
#include "state.h"
#include "terminal.h"
#include "value_text.h"

namespace {

std::string value_text(double v) {
  char buf[value_text_max];
  return std::string(buf, format_value(buf, v));
}

// Opens an input by its path as the run names it. Returns "" when it is
// open, otherwise the reason it is not (also for a path the file system
// cannot take as it is, or would take for another file: host_names.h).
std::string open_input(text_reader& f1, const std::string& nomim3) {
  const std::string path = opened_path(nomim3);
  if (path.find('\0') != std::string::npos) return std::strerror(ENOENT);
  std::string refused = name_refusal(path);
  if (!refused.empty()) return refused;
  const int err = f1.open(path);
  return err == 0 ? std::string() : std::strerror(err);
}

// A running bound takes a header value only when the value is beyond it.
// A NaN compares false both ways and changes nothing.
void take_lower(double& bound, double value) {
  if (bound > value) bound = value;
}
void take_higher(double& bound, double value) {
  if (bound < value) bound = value;
}

// An input whose bytes cannot be read (a folder, an I/O error) ends the run.
int unreadable(text_reader& f1, const std::string& nomim3) {
  const int err = f1.error();
  f1.close();
  return file_failed(nomim3, "cannot be read", std::strerror(err));
}

// The copy of an input stopped at a record that could not be read, whose
// text starts at offset start (after the last record copied). Unless only
// white space follows there (the input ended cleanly), one warning line on
// standard error names the line where that text begins and how many bytes
// from there on were not copied. The line is counted by reading the input
// again from its start, which is done only when the warning is due.
void warn_if_cut_short(text_reader& f1, const std::string& nomim3, int fields, long long start) {
  std::string where;
  long long first = start;
  if (f1.seek(start)) {
    if (skip_space(f1) < 0) return;  // white space to the end: a clean end
    first = f1.offset();
    long long line = 1;
    f1.seek(0);
    while (f1.offset() < first && f1.peek() >= 0) {
      const char* end = f1.pos() + std::min<long long>(f1.limit() - f1.pos(), first - f1.offset());
      line += std::count(f1.pos(), end, '\n');
      f1.advance_to(end);
    }
    where = "line " + std::to_string(line);
  } else {
    // A pipe cannot be read again: the position is given as a byte offset.
    if (fields == 0 && f1.peek() < 0) return;
    where = "byte " + std::to_string(start);
  }
  while (f1.peek() >= 0) f1.advance_to(f1.limit());
  complain(opened_path(nomim3), "warning: the copy stopped at " + where + ", where a record cannot be read; " +
                                  std::to_string(f1.offset() - first) + " bytes from there on were not copied");
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

constexpr std::size_t header_buffer_size = 4096;

}  // namespace

int treatment() {
  assert(num_arch <= 0 || im_number.size() > static_cast<std::size_t>(num_arch));
  assert(f2.is_open());
  double minx = 4000000.0, miny = 4000000.0, minalt = 100000.0;
  double maxx = 0.0, maxy = 0.0, maxalt = 0.0;
  point_code val;
  double dval1, dval2;  // the header records skipped, and records the copy loop leaves
  text_reader f1;       // the input being copied
  // The bounds pass reads a header, a few dozen bytes: one small read each.
  text_reader head(header_buffer_size);
  split_copy copier;    // the copy loop, on two threads for large stretches

  say("\n\tTreatment");

  // An input that is the result's own file (named so, or reached through
  // another name or a link) is read as it was before this run: the result
  // replaces it only at the end. Said once.
  const io_file_id result_id = choices.to_stdout ? io_file_id{} : io_identity_of(f2.target());
  bool result_warned = false;

  // Bounds pass: each input's header, three records. A header cut short
  // gives the fields it holds; the fields it does not reach contribute
  // nothing (not the previous input's values).
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    image& input = im_number[static_cast<std::size_t>(i)];
    const std::string& nomim3 = input.name;
    const std::string failed = open_input(head, nomim3);
    if (!failed.empty()) {
      complain(opened_path(nomim3), failed);
      return abandon("\n\tFile " + nomim3 + " unknown\n");
    }
    if (input.size < 0 || result_id.known) {
      const io_file_id id = io_identity(head.fd());
      if (input.size < 0) input.size = id.size;
      if (!result_warned && id.same_as(result_id)) {
        complain(opened_path(nomim3), "warning: this input is the result's file; what it held before this run is merged");
        result_warned = true;
      }
    }
    double min_x, min_y, min_alt, max_x, max_y, max_alt;  // the input's x, y and z extent
    const int n1 = read_record(head, val, min_x, min_y);
    const int n2 = read_record(head, val, max_x, max_y);
    const int n3 = read_record(head, val, min_alt, max_alt);
    if (head.error() != 0) return unreadable(head, nomim3);
    head.close();
    if (n1 >= 2) take_lower(minx, min_x);
    if (n1 >= 3) take_lower(miny, min_y);
    if (n3 >= 2) take_lower(minalt, min_alt);
    if (n2 >= 2) take_higher(maxx, max_x);
    if (n2 >= 3) take_higher(maxy, max_y);
    if (n3 >= 3) take_higher(maxalt, max_alt);
  }

  say("\n\n\tmin x = " + value_text(minx) + " min y = " + value_text(miny) + " ");
  say("\n\tmax x = " + value_text(maxx) + " max y = " + value_text(maxy) + " ");
  say("\n\tmin z = " + value_text(minalt) + " max z = " + value_text(maxalt) + " ");

  write_record(f2.out, 4, minx, miny);
  write_record(f2.out, 5, maxx, maxy);
  write_record(f2.out, 6, minalt, maxalt);

  say("\n");

  // Copy pass: every complete data record, input after input. The progress
  // line counts each buffer of input as it is read, and is erased before
  // the console writes and before any message.
  // Each input is read to its end, so it is read ahead on a second thread.
  f1.prefetch(true);
  progress_line progress;
  const bool share_line = choices.progress && !choices.to_stdout && stderr_shares_console();
  if (choices.progress) {
    progress.start(total_size());
    f1.observe(progress_line::count, &progress);
  }
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    const std::string nomim3 = im_number[static_cast<std::size_t>(i)].name;
    const std::string file_line = "\tFile " + std::to_string(i) + " Name : " + nomim3 + " ";
    progress.erase();
    say("\n" + file_line);
    progress.follow(share_line ? file_line : "");
    const std::string failed = open_input(f1, nomim3);
    if (!failed.empty()) {
      progress.finish();
      return file_failed(nomim3, "cannot be opened again", failed);
    }
    const int header_fields = read_record(f1, val, dval1, dval2);
    for (int h = 1; h < 3; ++h) read_record(f1, val, dval1, dval2);
    long long start;  // where the record being read begins
    int fields;
    do {
      copier.copy(f1, f2.out);
      // The record the copy loop left (its fast paths do not take it, or it
      // runs past the buffered bytes): read in full, refilling as needed.
      start = f1.offset();
      fields = read_record(f1, val, dval1, dval2);
      if (fields == 3) write_record(f2.out, val, dval1, dval2);
    } while (fields == 3);
    if (f1.error() != 0) {
      progress.finish();
      return unreadable(f1, nomim3);
    }
    // Any write error (a full disk, a file-size limit, an I/O error) ends
    // the copy: reading on could not change the outcome.
    if (f2.out.error() != 0) {
      f1.close();
      break;
    }
    progress.erase();
    f1.observe(nullptr, nullptr);  // the warning's second reading is not progress
    if (header_fields < 3) {
      // An empty file, or one that is not a point file: said once, here.
      complain(opened_path(nomim3), "warning: holds no complete header record; none of its records are copied");
    } else {
      warn_if_cut_short(f1, nomim3, fields, start);
    }
    f1.close();
    if (choices.progress) f1.observe(progress_line::count, &progress);
  }
  progress.finish();

  std::string reason;
  if (!f2.finish(reason)) return file_failed(f2.name, "cannot be written", reason);
  // The result is in place: whatever the folder's sync says, the run has succeeded.
  if (!f2.warning().empty()) complain(opened_path(f2.name), "warning: the folder could not be synced: " + f2.warning());
  return 0;
}

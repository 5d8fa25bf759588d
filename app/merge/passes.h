// The merge's steps, in the order treatment() takes them (merge.h): the
// bounds pass, the header, the copy pass. Each gives back how the run ends
// when it cannot go on (run_end.h); none of them says a failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "merge/input_memo.h"
#include "merge/run_end.h"
#include "merge/state.h"
#include "streams/text_reader.h"

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

  // Takes what a header gives. A header cut short gives the fields it
  // holds; the fields it does not reach contribute nothing (not the
  // previous input's values).
  void take(const header_read& h);

 private:
  void take_value(int k, double& bound, double value, bool lower);
};

// A value as the console and the result show it: six decimals.
std::string value_text(double v);

// The extent's three console lines, each after a line end ("\n\tmin x =
// ... min y = ... "), as the merge shows them before the copy.
std::string extent_text(const bounds& b);

// The input sizes added up, for the progress line; 0 when one is unknown.
std::uint64_t total_size();

// Opens an input as the run names it into fd, which the caller closes only
// when owned (standard input is not). A path the file system cannot take as
// it is, or would take for another file (host_names.h), is refused.
failure open_input(const image& input, int& fd, bool& owned);

// The bounds pass: every input's header read into b, in the order named,
// and what the copy pass needs kept in memos (slots 1 to num_arch).
run_end bounds_pass(std::vector<input_memo>& memos, bounds& b);

// The copy pass: every input's data records copied into the result (f2),
// input after input, each one's console line, progress and warnings.
run_end copy_pass(std::vector<input_memo>& memos);

// A result that cannot be written ends the run; quietly when it goes to
// standard output whose reader has gone, nobody being left to read a
// message there.
run_end not_written(const failure& f);

// An input whose bytes cannot be read (a folder, an I/O error): f1 closed.
run_end unreadable(text_reader& f1, const std::string& nomim3);

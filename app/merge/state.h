// The state that the dialogue (opening) or the command line (batch) hands to
// the merge (treatment). It lives for the whole process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "merge/result_stream.h"
#include "merge/run_end.h"

// How the run was asked for; the defaults are the dialogue's, and the
// command line changes them before the merge.
struct run_choices {
  bool drive_paths = true;  // paths in drive form ("C:\images\s\a.zqd"), mapped to host paths
  bool key_wait = true;     // a failure waits for a key press on the terminal
  bool to_stdout = false;   // f2 writes to standard output: no temporary to put in place
  bool progress = false;    // a progress line on standard error during the copy pass
  bool tight_bounds = false;  // the result's extent is the inputs' own, not clipped to the starting box
};
extern run_choices choices;

// The path handed to the file system for a path as the run names it: mapped
// from drive form (host_path.h) for the dialogue, as given otherwise.
std::string opened_path(const std::string& path);

// One input, by its path in drive form ("C:\images\survey\a.zqd"), or as
// given on the command line.
struct image {
  std::string name;
  long long size = -1;  // in bytes: from the folder's listing or the bounds pass; -1 unknown
  bool from_stdin = false;  // "-" on the command line: standard input, read once
};

// The number of inputs as typed (0 when no number was typed; 0 or less
// names no input).
extern std::int32_t num_arch;
// The inputs' paths in drive form, in the order named: slots 1 to num_arch;
// slot 0 is not used.
extern std::vector<image> im_number;
// The result (its name in drive form, or as given on the command line), its
// temporary created and open for writing.
extern result_stream f2;

// Creates the temporary of the result named name (as the run names it) and
// makes f2 write into it: the one place the result is made. The result is
// refused when the host would not take its name as written (host_names.h),
// and, for a merge of no inputs (no_inputs), when a file of its name is
// there already: a count typed wrong must not replace a file with an empty
// merge; and when the inputs that can be read only once (input_memo.h) are
// more than the process may hold open. Returns why the run ends when the
// result is not made (for the edge to say: entry/ending.h), nothing when it
// is.
run_end create_result(const std::string& name, bool no_inputs);

// Why a run ends without its result, as the merge gives it back to the
// edge of the run (entry/ending.h), which says it, removes the temporary,
// waits for the key and sets the exit status. Below the edge nothing of it
// is said.
#pragma once

#include <string>

#include "host/failure.h"

struct run_end {
  enum class kind {
    none,           // no end: the run goes on, or has succeeded
    file,           // a file failed: "File <name> cannot be read (<reason>)"
    unknown,        // an input the bounds pass cannot open: "File <name> unknown"
    changed,        // an input changed between the passes
    not_replaced,   // a merge of no inputs would replace an existing file
    no_folder,      // the result's folder is missing (name is the folder)
    too_many_held,  // inputs read once cannot all be held open
    reader_gone,    // standard output's reader has gone: nobody to tell
  };
  kind what = kind::none;
  std::string name;  // the file or folder as the run names it
  failure cause;     // what went wrong (kind::file, kind::unknown)
  long long held = 0, limit = 0;  // kind::too_many_held: inputs held, files allowed

  explicit operator bool() const { return what != kind::none; }

  static run_end of(kind what, const std::string& name, failure cause = {}) { return run_end{what, name, cause}; }
};

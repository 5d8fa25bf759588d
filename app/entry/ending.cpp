// The edge of a run: what ended it, said once.
#include "entry/ending.h"

#include <string>

#include "console/console.h"
#include "console/diagnostic.h"
#include "host/key_wait.h"
#include "merge/state.h"

namespace {

// What was being done, as the console's line says it.
const char* console_words(step doing) {
  switch (doing) {
    case step::opening:
      return "cannot be opened";
    case step::reopening:
      return "cannot be opened again";
    case step::reading:
      return "cannot be read";
    case step::creating:
      return "cannot be created";
    case step::writing:
    case step::none:
      break;
  }
  return "cannot be written";
}

// The diagnostic on standard error, and the console's line.
std::string said(const run_end& end) {
  const std::string& name = end.name;
  const std::string path = opened_path(name);
  const std::string reason = end.cause.reason();
  switch (end.what) {
    case run_end::kind::unknown:
      complain(path, reason);
      return "\n\tFile " + name + " unknown\n";
    case run_end::kind::changed:
      complain(path, "changed while it was being merged");
      return "\n\tFile " + name + " changed while it was being merged\n";
    case run_end::kind::not_replaced:
      complain(path, "not replaced: there are no files to paste");
      return "\n\tFile " + name + " not replaced: there are no files to paste\n";
    case run_end::kind::no_folder:
      complain(path, "no such folder");
      return "\n\tFolder " + name + " does not exist\n";
    case run_end::kind::too_many_held:
      complain_lines("tilvaro: " + std::to_string(end.held) +
                     " inputs that can be read only once must be held open together, and the system lets a process "
                     "hold only " + std::to_string(end.limit) + " files open\n");
      return "\n\tToo many inputs that can be read only once\n";
    case run_end::kind::file:
    case run_end::kind::none:
    case run_end::kind::reader_gone:
      break;
  }
  complain(path, reason);
  return "\n\tFile " + name + " " + console_words(end.cause.doing) + " (" + reason + ")\n";
}

}  // namespace

int end_run(const run_end& end) {
  if (!end) return 0;
  if (end.what == run_end::kind::reader_gone) {
    f2.discard();
    return 1;
  }
  say(said(end));
  f2.discard();
  // Nothing is pending while the run waits: a run killed or stopped during
  // the wait leaves nothing behind and has said everything.
  console_flush();
  if (choices.key_wait) wait_key();
  return 1;
}

// The command line's runs: the merge, and the look at the inputs, with
// the state for the merge filled from the arguments.
#include "entry/batch.h"

#include <cstdint>

#include "console/console.h"
#include "console/diagnostic.h"
#include "entry/ending.h"
#include "entry/inputs.h"
#include "entry/out_of_memory.h"
#include "host/terminal.h"
#include "merge/check_pass.h"
#include "merge/merge.h"
#include "merge/state.h"

namespace {

// The choices of a command-line run, and its inputs made into paths (the
// result's own file, result_path, left out of patterns). Returns 0, or the
// exit status of a run that has ended.
int take_inputs(const command_line& cl, const std::string& result_path) {
  choices.drive_paths = false;
  // A console made for this run alone (a shortcut started from Explorer)
  // closes with it: a failure waits for a key there, never elsewhere.
  choices.key_wait = console_is_own();
  choices.progress = !cl.quiet && stderr_is_terminal();
  choices.tight_bounds = cl.tight_bounds;

  run_stage = "reading the names of the inputs";
  im_number.assign(1, image{});  // slot 0 is not used
  const int refused = expand_inputs(cl.inputs, result_path, im_number);
  if (refused != 0) return refused;
  if (im_number.size() - 1 > static_cast<std::size_t>(INT32_MAX)) {
    complain_lines("tilvaro: more than 2147483647 inputs\n");
    return 1;
  }
  num_arch = static_cast<std::int32_t>(im_number.size() - 1);
  return 0;
}

}  // namespace

int batch(const command_line& cl) {
  const std::string& output = cl.output;
  choices.to_stdout = output == "-";
  if (const int ended = take_inputs(cl, choices.to_stdout ? "" : output)) return ended;
  const bool no_inputs = num_arch == 0;

  run_stage = "creating the result";
  if (choices.to_stdout) {
    f2.name = output;
    console_mute();
    f2.to_stdout();
  } else if (const run_end end = create_result(output, no_inputs)) {
    return end_run(end);
  }
  run_stage = "merging";
  return end_run(treatment());
}

int check(const command_line& cl) {
  if (const int ended = take_inputs(cl, "")) return ended;
  run_stage = "looking at the inputs";
  return check_pass() ? 0 : 1;
}

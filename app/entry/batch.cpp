// The command line's merge: the state for the merge filled from arguments.
#include "entry/batch.h"

#include <cstdint>

#include "console/console.h"
#include "console/diagnostic.h"
#include "entry/ending.h"
#include "entry/inputs.h"
#include "entry/out_of_memory.h"
#include "host/terminal.h"
#include "merge/merge.h"
#include "merge/state.h"

int batch(const command_line& cl) {
  const std::string& output = cl.output;
  choices.drive_paths = false;
  // A console made for this run alone (a shortcut started from Explorer)
  // closes with it: a failure waits for a key there, never elsewhere.
  choices.key_wait = console_is_own();
  choices.to_stdout = output == "-";
  choices.progress = !cl.quiet && stderr_is_terminal();
  choices.tight_bounds = cl.tight_bounds;

  run_stage = "reading the names of the inputs";
  im_number.assign(1, image{});  // slot 0 is not used
  const int refused = expand_inputs(cl.inputs, choices.to_stdout ? "" : output, im_number);
  if (refused != 0) return refused;
  if (im_number.size() - 1 > static_cast<std::size_t>(INT32_MAX)) {
    complain_lines("tilvaro: more than 2147483647 inputs\n");
    return 1;
  }
  num_arch = static_cast<std::int32_t>(im_number.size() - 1);
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

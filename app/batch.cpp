// The command line's merge: the state for the merge filled from arguments.
#include "batch.h"

#include "console.h"
#include "diagnostic.h"
#include "merge.h"
#include "state.h"
#include "terminal.h"

int batch(const std::string& output, const std::vector<std::string>& inputs, bool quiet) {
  choices.drive_paths = false;
  // A console made for this run alone (a shortcut started from Explorer)
  // closes with it: a failure waits for a key there, never elsewhere.
  choices.key_wait = console_is_own();
  choices.to_stdout = output == "-";
  choices.progress = !quiet && stderr_is_terminal();

  // The argument count is far below the 32-bit range: argv cannot hold more.
  num_arch = static_cast<std::int32_t>(inputs.size());
  im_number.assign(1, image{});  // slot 0 is not used
  for (const std::string& path : inputs) im_number.push_back(image{path});

  if (choices.to_stdout) {
    f2.name = output;
    console_mute();
    f2.to_stdout();
  } else if (!create_result(output, inputs.empty())) {
    return 1;
  }
  return treatment();
}

// The command line's merge: the state for the merge filled from arguments.
#include "batch.h"

#include "console.h"
#include "diagnostic.h"
#include "io.h"
#include "merge.h"
#include "state.h"
#include "terminal.h"

int batch(const std::string& output, const std::vector<std::string>& inputs, bool quiet) {
  choices.drive_paths = false;
  choices.key_wait = false;
  choices.to_stdout = output == "-";
  choices.progress = !quiet && stderr_is_terminal();

  // The argument count is far below the 32-bit range: argv cannot hold more.
  num_arch = static_cast<std::int32_t>(inputs.size());
  im_number.assign(1, image{});  // slot 0 is not used
  for (const std::string& path : inputs) im_number.push_back(image{path});

  f2.name = output;
  if (choices.to_stdout) {
    console_mute();
    f2.out.attach(io_stdout);
  } else {
    std::string reason;
    if (!f2.file.create(output, reason)) return file_failed(output, "cannot be created", reason);
    f2.out.attach(f2.file.fd(), &f2.file.behind());
  }
  return treatment();
}

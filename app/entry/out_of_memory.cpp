// The end of a run that ran out of memory.
#include "entry/out_of_memory.h"

#include <vector>

#include "console/console.h"
#include "console/diagnostic.h"
#include "host/key_wait.h"
#include "merge/state.h"

const char* run_stage = "reading the command line";

int out_of_memory() {
  // The names go first: the most memory a run holds, and the room for what
  // follows, which may allocate a little (the key wait).
  std::vector<image>().swap(im_number);
  f2.discard();
  console_flush();
  complain_out_of_memory(run_stage);
  if (choices.key_wait) wait_key();
  return 1;
}

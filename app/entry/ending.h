// The edge of a run: the one place where a run that cannot produce its
// result is ended, whatever layer found why.
#pragma once

#include "merge/run_end.h"

// Says why the run ends (the diagnostic on standard error, the console's
// line), removes the temporary result, writes out the console text and, when
// choices.key_wait is set, waits for a key on the terminal. Returns the
// exit status: 0 for no end (the run has succeeded), 1 otherwise. A reader
// of standard output that has gone is told nothing.
int end_run(const run_end& end);

// The merge: bounds pass over the headers, then the copy pass.
#pragma once

#include "merge/run_end.h"

// Prints "Treatment", reads every input's header and combines the bounds,
// prints them, writes them as the result's header, then copies every input's
// data records into the result, input after input, and puts the result in
// place. Returns nothing when the result was written completely, otherwise
// why the run ends without it (said by the edge: entry/ending.h; the
// result's old content, if any, is untouched).
// Preconditions: opening() or batch() made the result (num_arch, im_number
// and f2 are set).
run_end treatment();

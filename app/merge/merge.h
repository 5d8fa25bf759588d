// The merge: bounds pass over the headers, then the copy pass.
#pragma once

// Prints "Treatment", reads every input's header and combines the bounds,
// prints them, writes them as the result's header, then copies every input's
// data records into the result, input after input, and puts the result in
// place. Returns the exit status: 0 when the result was written completely,
// 1 when the run ended without it (the message has been printed and the
// result's old content, if any, is untouched).
// Preconditions: opening() or batch() succeeded (num_arch, im_number and f2
// are set).
int treatment();

// The merge as the command line asks for it: no dialogue, host paths.
#pragma once

#include <string>
#include <vector>

#include "entry/command_line.h"

// Merges the inputs that args name (patterns expanded, lists read: see
// inputs.h) into output (the paths used as the host takes them, "-" for
// standard output) the way the dialogue's merge does, without banner or
// questions: standard output shows the treatment's text, with the paths as
// given. Nothing is made before every input is known. A progress line goes
// to standard error when it is a terminal and quiet is not set; the extent
// is the inputs' own with tight_bounds. Returns the
// exit status: 0 when the result was written completely, 1 when not, 2 for
// an argument that expand_inputs refuses (the message has been printed).
int batch(const command_line& cl);

// Looks at the inputs that args name (as batch takes them) without merging
// them or writing anything: the report of check_pass (merge/check_pass.h)
// on standard output. Returns the exit status: 0 when every input would be
// merged whole, 1 when one would not, 2 for an argument that expand_inputs
// refuses.
int check(const command_line& cl);

// The merge as the command line asks for it: no dialogue, host paths.
#pragma once

#include <string>
#include <vector>

// Merges inputs into output (the paths used as the host takes them, "-" for
// standard output) the way the dialogue's merge does, without banner,
// questions or key wait: standard output shows the treatment's text, with
// the paths as given. A progress line goes to standard error when it is a
// terminal and quiet is not set. Returns the exit status: 0 when the result
// was written completely, 1 when not (the message has been printed).
int batch(const std::string& output, const std::vector<std::string>& inputs, bool quiet);

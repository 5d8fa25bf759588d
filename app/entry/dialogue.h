// The dialogue that fixes the folder, the inputs and the result.
#pragma once

// Shows the banner, asks for the folder, the number of inputs, each input's
// name and the result's name, records the input paths in im_number (slots 1
// to num_arch) and creates the result's temporary file in f2. The merge
// shows a progress line when standard error is a terminal.
// Returns false when the run has ended instead (standard input ended before
// a name was given, a count out of range, a result that cannot be created);
// the message has been printed and nothing is left behind.
bool opening();

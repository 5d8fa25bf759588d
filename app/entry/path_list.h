// Lists of paths, one a line, as editors and shells on every host write them.
#pragma once

#include <string>
#include <vector>

#include "merge/state.h"

// Appends to inputs the paths that the list file list ("-": standard input)
// names, one a line, in order:
// - the text is UTF-8 (a byte-order mark EF BB BF at its start skipped), or
//   UTF-16 when it starts with a byte-order mark (FF FE little-endian, as
//   Windows PowerShell's > and Notepad's "Unicode" write it; FE FF
//   big-endian), made into UTF-8;
// - as in a point file, CR is removed wherever it stands (CR LF and LF end
//   lines) and 0x1A ends the text;
// - a line wholly in double quotes (Explorer's "Copy as path") loses them;
//   empty lines are skipped.
// Returns the exit status: 0, or after the message on standard error, 1 for
// a list that cannot be read, 2 for a line longer than any path
// (longest_path_bytes(), host_names.h) or one that is not UTF-8 (or, after
// a UTF-16 mark, not UTF-16) text: no byte of such a line is shown. The
// list is read no further than the line refused, so memory stays bounded
// also for a list that never ends.
int read_path_list(const std::string& list, std::vector<image>& inputs);

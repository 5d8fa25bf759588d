// Where the full manual is, as the help names it.
#pragma once

// The words after "More in the manual: " at the end of the help: the
// command that shows the manual page on POSIX hosts, the text file that
// comes beside the executable on Windows.
const char* manual_hint();

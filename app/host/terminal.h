// Which standard streams are terminals, how wide standard error's is, and
// how the console was come by: the one answer to "is this stream a
// console?" on each host (on Windows a console, not any character device
// such as NUL).
#pragma once

bool stdin_is_terminal();
bool stdout_is_terminal();
bool stderr_is_terminal();

// Standard error shows on the same console (terminal) as standard output,
// so what either writes lands on the same screen row.
bool stderr_shares_console();

// The width in columns of the terminal standard error is; 80 when the
// terminal does not tell.
int stderr_columns();

// Makes standard error's terminal take the cursor-up sequence (ESC [ A,
// one row up in the same column) and says whether it does: a POSIX terminal
// always does; a Windows console does once its virtual-terminal processing
// is on (Windows 10 and later), which this turns on when it is off.
bool stderr_cursor_up_on();
// Gives standard error's console back the mode stderr_cursor_up_on found,
// if it changed it; does nothing otherwise. Safe in the interruption's
// clean-up (a POSIX signal handler, the Windows console control handler).
void stderr_cursor_up_off();

// The console was made for this process alone and goes when it ends: on
// Windows, a program started from Explorer (a double click, files dropped
// onto it) rather than from cmd or a script. Its window would close before
// a message could be read. Never so on POSIX, where a terminal outlives the
// program run in it.
bool console_is_own();

// The line end that text on standard error ends its lines with: CR LF on
// Windows, LF elsewhere.
const char* stderr_line_end();

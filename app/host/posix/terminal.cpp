// Which standard streams are terminals, on POSIX hosts.
#include "host/terminal.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

bool stdin_is_terminal() { return ::isatty(STDIN_FILENO) == 1; }
bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

bool stderr_shares_console() {
  struct stat out, err;
  return stdout_is_terminal() && stderr_is_terminal() && ::fstat(STDOUT_FILENO, &out) == 0 &&
         ::fstat(STDERR_FILENO, &err) == 0 && out.st_rdev == err.st_rdev;
}

int stderr_columns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// Every terminal the tool meets here knows the ANSI cursor movements.
bool stderr_cursor_up_on() { return true; }
void stderr_cursor_up_off() {}

bool console_is_own() { return false; }

const char* stderr_line_end() { return "\n"; }

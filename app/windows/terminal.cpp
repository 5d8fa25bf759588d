// Which standard streams are terminals (consoles), on Windows.
#include "terminal.h"

#include <io.h>
#include <windows.h>

#include <cstdio>

namespace {

bool is_console(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }
bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

// A process has one console at most: two console handles show on it both.
bool stdout_and_stderr_share_terminal() { return is_console(STD_OUTPUT_HANDLE) && is_console(STD_ERROR_HANDLE); }

// The console wraps text at its buffer's width.
int stderr_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) && info.dwSize.X > 0) return info.dwSize.X;
  return 80;
}

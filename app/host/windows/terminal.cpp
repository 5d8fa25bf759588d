// Which standard streams are terminals (consoles), on Windows.
#include "terminal.h"

#include <windows.h>

namespace {

bool is_console(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

// A console, not any character device: the C runtime's _isatty says yes
// for NUL too.
bool stdin_is_terminal() { return is_console(STD_INPUT_HANDLE); }
bool stdout_is_terminal() { return is_console(STD_OUTPUT_HANDLE); }
bool stderr_is_terminal() { return is_console(STD_ERROR_HANDLE); }

// A process has one console at most: both handles on it share it.
bool stderr_shares_console() { return stdout_is_terminal() && stderr_is_terminal(); }

// The console wraps text at its buffer's width.
int stderr_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) && info.dwSize.X > 0) return info.dwSize.X;
  return 80;
}

// Counts the processes attached to the console: from cmd, cmd itself is one
// of them; started from Explorer, the tool is alone. A console without a
// window (a program started with CREATE_NO_WINDOW by a build tool or a
// scheduler) has nobody to press a key: it does not count.
bool console_is_own() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1 && GetConsoleWindow() != nullptr;
}

const char* stderr_line_end() { return "\r\n"; }

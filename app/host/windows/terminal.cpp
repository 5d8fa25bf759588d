// Which standard streams are terminals (consoles), on Windows.
#include "host/terminal.h"

#include <windows.h>

#include <atomic>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

// Standard error's console mode before stderr_cursor_up_on changed it;
// published for the console control handler, which may run at any point.
std::atomic<DWORD> mode_before{0};
std::atomic<bool> mode_changed{false};

bool is_console(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// Whether the console moves its cursor up for ESC [ A: it is tried where
// the cursor stands, and the cursor put back. A console that takes the mode
// without knowing the sequence (wine's) does not move it. Not tried in the
// last column, where the move would cancel the wrap a full row has pending.
bool moves_up(HANDLE err) {
  CONSOLE_SCREEN_BUFFER_INFO before, after;
  if (!GetConsoleScreenBufferInfo(err, &before) || before.dwCursorPosition.X + 1 >= before.dwSize.X) return false;
  COORD from = before.dwCursorPosition;
  if (from.Y == 0) {  // nothing above: tried from the row below
    if (before.dwSize.Y < 2) return false;
    from.Y = 1;
    if (!SetConsoleCursorPosition(err, from)) return false;
  }
  DWORD written;
  const bool moved = WriteConsoleA(err, "\x1b[A", 3, &written, nullptr) && GetConsoleScreenBufferInfo(err, &after) &&
                     after.dwCursorPosition.Y == from.Y - 1;
  SetConsoleCursorPosition(err, before.dwCursorPosition);
  return moved;
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

// A console older than Windows 10 refuses the mode, or takes it without
// keeping it.
bool stderr_cursor_up_on() {
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode;
  if (!GetConsoleMode(err, &mode)) return false;
  if (!(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    if (!mode_changed.load()) mode_before.store(mode);
    if (!SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
    mode_changed.store(true);
  }
  if (moves_up(err)) return true;
  stderr_cursor_up_off();
  return false;
}

void stderr_cursor_up_off() {
  if (mode_changed.exchange(false)) SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), mode_before.load());
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

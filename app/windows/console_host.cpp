// The console on Windows: binary standard streams and UTF-8 code pages.
#include "console_host.h"

#include <windows.h>

#include <cstdlib>

namespace {

UINT g_input_page = 0;
UINT g_output_page = 0;

bool is_console(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// The console window outlives the run (a cmd.exe may go on in it): it gets
// its code pages back.
void restore_pages() {
  if (g_input_page != 0) SetConsoleCP(g_input_page);
  if (g_output_page != 0) SetConsoleOutputCP(g_output_page);
}

}  // namespace

bool console_host_open() {
  // The standard handles are read and written directly (io.h), never in
  // the C runtime's text mode: the console's bytes go out as they are.
  // Text is UTF-8 (names with é or ü): the console shows it as such, and
  // takes typed text as such.
  if (is_console(STD_INPUT_HANDLE)) {
    g_input_page = GetConsoleCP();
    SetConsoleCP(CP_UTF8);
  }
  const bool terminal = is_console(STD_OUTPUT_HANDLE);
  if (terminal || is_console(STD_ERROR_HANDLE)) {
    g_output_page = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
  }
  if (g_input_page != 0 || g_output_page != 0) std::atexit(restore_pages);
  return terminal;
}

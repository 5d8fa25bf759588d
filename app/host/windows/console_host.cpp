// The console on Windows: binary standard streams and UTF-8 code pages.
#include "host/console_host.h"

#include "host/terminal.h"

#include <windows.h>

#include <cstdlib>

namespace {

UINT g_input_page = 0;
UINT g_output_page = 0;

// The console window outlives the run (a cmd.exe may go on in it): it gets
// its code pages back.
void restore_pages() {
  if (g_input_page != 0) SetConsoleCP(g_input_page);
  if (g_output_page != 0) SetConsoleOutputCP(g_output_page);
}

}  // namespace

void console_host_open() {
  // The standard handles are read and written directly (io.h), never in
  // the C runtime's text mode: the console's bytes go out as they are.
  // Text is UTF-8 (names with é or ü): the console shows it as such, and
  // takes typed text as such.
  if (stdin_is_terminal()) {
    g_input_page = GetConsoleCP();
    SetConsoleCP(CP_UTF8);
  }
  if (stdout_is_terminal() || stderr_is_terminal()) {
    g_output_page = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
  }
  if (g_input_page != 0 || g_output_page != 0) std::atexit(restore_pages);
}

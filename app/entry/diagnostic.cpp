// Conventional diagnostics on standard error.
#include "diagnostic.h"

#include "console.h"
#include "io.h"
#include "terminal.h"

void complain(const std::string& path, const std::string& reason) {
  complain_lines("tilvaro: " + path + ": " + reason + "\n");
}

void complain_lines(const std::string& text) {
  const std::string line_end = stderr_line_end();
  std::string out;
  if (console_line_open() && stderr_shares_console()) out = line_end;
  for (const char c : text) {
    if (c == '\n')
      out += line_end;
    else
      out += c;
  }
  (void)io_write_all(io_stderr, out.data(), out.size());
  if (!out.empty() && out.back() == '\n') console_line_closed();
}

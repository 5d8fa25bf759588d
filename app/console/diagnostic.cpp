// Conventional diagnostics on standard error.
#include "console/diagnostic.h"

#include <cstring>

#include "console/console.h"
#include "console/utf8.h"
#include "host/io.h"
#include "host/terminal.h"

namespace {

// The length of the valid UTF-8 sequence of two bytes or more that starts
// at s[i], or 0 when none does. A C1 control character (C2 80 to C2 9F)
// counts as none: it stays escaped.
std::size_t shown_sequence(const std::string& s, std::size_t i) {
  if (static_cast<unsigned char>(s[i]) == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0)
    return 0;
  return utf8_sequence(s, i);
}

// Appends to out as much of text as fits before end; returns the new end.
char* append(char* out, const char* end, const char* text) {
  const std::size_t n = std::strlen(text);
  const std::size_t room = static_cast<std::size_t>(end - out);
  const std::size_t take = n < room ? n : room;
  std::memcpy(out, text, take);
  return out + take;
}

}  // namespace

std::string shown_name(const std::string& name) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += name[i++];
    } else if (const std::size_t n = c >= 0x80 ? shown_sequence(name, i) : 0) {
      out.append(name, i, n);
      i += n;
    } else {
      if (c == '\t') {
        out += "\\t";
      } else if (c == '\n') {
        out += "\\n";
      } else if (c == '\r') {
        out += "\\r";
      } else {
        const char escape[] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
        out.append(escape, sizeof escape);
      }
      ++i;
    }
  }
  return out;
}

void warn(const std::string& path, const std::string& text) { complain(path, "warning: " + text); }

void complain(const std::string& path, const std::string& reason) {
  complain_lines("tilvaro: " + shown_name(path) + ": " + reason + "\n");
}

void complain_out_of_memory(const char* doing) {
  char line[256];
  char* const end = line + sizeof line;
  char* p = line;
  if (console_line_open() && stderr_shares_console()) p = append(p, end, stderr_line_end());
  p = append(p, end, "tilvaro: out of memory (");
  p = append(p, end - 8, doing);  // room for the rest
  p = append(p, end, ")");
  p = append(p, end, stderr_line_end());
  (void)io_write_all(io_stderr, line, static_cast<std::size_t>(p - line));
  console_line_closed();
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

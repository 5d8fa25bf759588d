// Conventional diagnostics on standard error.
#include "diagnostic.h"

#include <cstring>

#include "console.h"
#include "io.h"
#include "terminal.h"

namespace {

// The length of the valid UTF-8 sequence of two bytes or more that starts
// at s[i], or 0 when none does (the ranges of the Unicode standard's table
// of well-formed byte sequences). A C1 control character (C2 80 to C2 9F)
// counts as none: it stays escaped.
std::size_t utf8_sequence(const std::string& s, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = at(i);
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    if (lead == 0xC2) low = 0xA0;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() - i < length || at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return length;
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
    } else if (const std::size_t n = c >= 0x80 ? utf8_sequence(name, i) : 0) {
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

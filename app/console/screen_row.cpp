// How a terminal lays text out on its rows: columns of UTF-8 text, TAB stops
// and wrapping.
#include "console/screen_row.h"

#include <algorithm>

namespace {

// The columns a character takes on a terminal.
std::size_t char_columns(char32_t c) {
  if (c >= 0x300 && c <= 0x36F) return 0;  // combining accents
  static const struct {
    char32_t first, last;
  } wide[] = {
      {0x1100, 0x115F},  {0x2E80, 0x303E},  {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
      {0xA000, 0xA4CF},  {0xAC00, 0xD7A3},  {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6},  {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
  };
  for (const auto& range : wide)
    if (c >= range.first && c <= range.last) return 2;
  return 1;
}

// Decodes the UTF-8 character at text[i]; returns its length in bytes (1
// for a byte that starts no valid sequence, which then stands for itself).
std::size_t decode(const std::string& text, std::size_t i, char32_t& c) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  c = lead;
  std::size_t more = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    c = lead & 0x07;
  }
  if (more == 0) return 1;
  if (more >= text.size() - i) {  // cut short by the text's end
    c = lead;
    return 1;
  }
  for (std::size_t k = 1; k <= more; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      c = lead;
      return 1;
    }
    c = c << 6 | (next & 0x3F);
  }
  return more + 1;
}

}  // namespace

screen_row last_row(const std::string& text, std::size_t width) {
  if (width == 0) width = 1;
  screen_row row;
  for (std::size_t i = 0; i < text.size();) {
    char32_t c;
    const std::size_t n = decode(text, i, c);
    if (c == '\n') {
      row.start = i + n;
      row.column = 0;
    } else if (c == '\r') {
      row.column = 0;
    } else if (c == '\t') {
      if (row.column + 1 < width) row.column = std::min((row.column / 8 + 1) * 8, width - 1);
    } else if (c < 0x20 || c == 0x7F) {
      if (c != 0x7F) row.known = false;  // DEL shows nothing
    } else if (const std::size_t w = char_columns(c)) {
      if (row.column + w > width) {  // wraps onto the next row
        row.start = i;
        row.column = 0;
      }
      row.column += w;
    }
    i += n;
  }
  return row;
}

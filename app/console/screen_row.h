// How a terminal lays text out on its rows, as far as the cursor goes.
#pragma once

#include <cstddef>
#include <string>

// The row a text written at the start of a terminal row ends on, on a
// terminal of width columns that wraps long rows. A line end goes out as
// CR LF (the console's way); a TAB moves to the next multiple of 8; a UTF-8
// character takes one column (two for the wide ones of East Asian scripts,
// none for a combining accent). A byte that is not valid UTF-8 takes one.
struct screen_row {
  std::size_t start = 0;   // offset of the last row's first byte in the text
  std::size_t column = 0;  // the cursor's column after the text; width when
                           // the row is full (the next character wraps)
  bool known = true;       // false when a control character with an effect
                           // of its own (BS, ESC, ...) makes the column uncertain
};
screen_row last_row(const std::string& text, std::size_t width);

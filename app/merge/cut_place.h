// Where the copy of an input stopped short of its end, told as a warning
// or a report says it.
#pragma once

#include <string>

#include "streams/text_reader.h"

struct cut_place {
  bool cut = false;      // false: only white space followed, the input ended cleanly
  bool counted = false;  // line and rest are known (a file that can seek)
  long long line = 0;    // the line where the record that could not be read begins
  long long byte = 0;    // the byte where it begins (known either way)
  long long rest = 0;    // the bytes from there on, counted from the file's size
  std::string text;      // the word where the reading stopped: up to 24 bytes, "" at the end
};

// The copy of in stopped at a record that could not be read, whose text
// starts at offset start (after the last record copied), fields of it read;
// in stands where the reading stopped. The line is counted by reading in
// again from its start, as far as the record; an input read once (once) is
// not read on: its byte is where the record begins. With want_text, the
// word where the reading stopped is read first (an input read once may
// then have been read a few bytes further).
cut_place find_cut(text_reader& in, bool once, int fields, long long start, bool want_text);

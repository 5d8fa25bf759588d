// The data records of one input read for a report, not copied: counted, and
// their values' ranges taken.
#pragma once

#include <cstdint>

#include "records/value_range.h"
#include "streams/text_reader.h"

// What the look at one input found.
struct input_scanned {
  std::uint64_t records = 0;  // complete data records: those the merge would copy
  long long stop = 0;         // where the record that ended them begins
  int fields = 0;             // how many of that record's fields were read (0 to 2)
  value_range first, second;  // the records' first and second values
};

// Reads every complete data record from in, whose header has been read,
// exactly as copy_input would take them (input_copy.h: the same records,
// stopping at the same place), converting their values but writing nothing.
// The buffered text is read in place; the record that runs past it, or that
// the quick way does not take, is read by read_record, refilling as needed.
input_scanned scan_input(text_reader& in);

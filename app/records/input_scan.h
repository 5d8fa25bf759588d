// The data records of one input read for a report, not copied: counted, and
// their values' ranges taken.
#pragma once

#include <cstddef>
#include <cstdint>

#include "records/part_helpers.h"
#include "records/value_range.h"
#include "streams/text_reader.h"

// What the look at one input found.
struct input_scanned {
  std::uint64_t records = 0;  // complete data records: those the merge would copy
  long long stop = 0;         // where the record that ended them begins
  int fields = 0;             // how many of that record's fields were read (0 to 2)
  value_range first, second;  // the records' first and second values
};

// Scans large buffered stretches in parts, one per core (up to four), the
// first on the caller's thread and each later one on a helper, as
// split_copy copies them (split_copy.h): a stretch of at least min_split
// bytes is cut after an LF, a later part's records count when the part
// before ended where it begins, and a buffer is cut at most once. The result
// is the one scan_input gives alone.
class scan_splitter {
 public:
  explicit scan_splitter(unsigned parts = 0, std::size_t min_split = 1 << 16);

 private:
  friend input_scanned scan_input(text_reader& in, scan_splitter* splitter);
  part_helpers helpers_;
  const std::size_t min_split_;
  long long cut_end_ = -1;  // the end (file offset) of the buffer cut last
};

// Reads every complete data record from in, whose header has been read,
// exactly as copy_input would take them (input_copy.h: the same records,
// stopping at the same place), converting their values but writing nothing.
// The buffered text is read in place (in parts when a splitter is given);
// the record that runs past it, or that the quick way does not take, is read
// by read_record, refilling as needed.
input_scanned scan_input(text_reader& in, scan_splitter* splitter = nullptr);

// The copy of one input's data records into the result.
#pragma once

#include <cstdint>

#include "records/split_copy.h"
#include "streams/point_writer.h"
#include "streams/text_reader.h"

// What the copy of one input did.
struct input_copied {
  std::uint64_t records = 0;  // complete data records copied
  long long stop = 0;         // where the record that ended the copy begins
  int fields = 0;             // how many of that record's fields were read (0 to 2)
};

// Copies every complete data record from in, whose header has been read,
// to out, exactly as read_record followed by write_record would, record
// after record: the copier's fast copy takes what it can, and the record it
// leaves (a form it does not take, or one that runs past the buffered
// bytes) is read in full, refilling as needed, and written, after which the
// fast copy goes on. Stops at the first record that is not complete: the
// end of the text is one that stored no field. A write that fails
// (out.failed()) ends the copy at once, reading on could not change the
// outcome; in.failed() tells a read that failed.
input_copied copy_input(text_reader& in, point_writer& out, split_copy& copier);

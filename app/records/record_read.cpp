// Reading point-file records: the general scanner, a character at a time.
// The merge reads only the headers and the record that a buffer ends inside
// this way (the copy loop takes the rest), and the copy loop's recognisers
// are tested against it.
#include "records/record_read.h"

#include "records/record_scan.h"

int read_record(text_reader& reader, point_code& code, double& first, double& second) {
  reader_cursor in(reader);
  if (!scan_code(in, code)) return 0;
  if (!scan_value(in, first)) return 1;
  if (!scan_value(in, second)) return 2;
  return 3;
}

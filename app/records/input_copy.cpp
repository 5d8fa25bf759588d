// The copy of one input: the fast copy, and the records it hands back.
#include "records/input_copy.h"

#include "records/point_code.h"
#include "records/record_read.h"
#include "records/record_writer.h"

input_copied copy_input(text_reader& in, point_writer& out, split_copy& copier) {
  input_copied done;
  point_code code;
  double first, second;
  for (;;) {
    done.records += copier.copy(in, out);
    if (out.failed()) {
      done.stop = in.offset();
      return done;
    }
    // The record the fast copy left: read in full, refilling as needed.
    done.stop = in.offset();
    done.fields = read_record(in, code, first, second);
    if (done.fields != 3) return done;
    write_record(out, code, first, second);
    ++done.records;
    done.fields = 0;
  }
}

// Where the copy of an input stopped short of its end.
#include "merge/cut_place.h"

#include <algorithm>

#include "console/console.h"
#include "host/io.h"
#include "records/scan.h"

cut_place find_cut(text_reader& in, bool once, int fields, long long start, bool want_text) {
  cut_place c;
  // The word where the reading stopped, before the reader moves.
  if (want_text && in.peek() >= 0) {
    const long long stopped = in.offset();
    read_token(in, c.text, 24);
    if (c.text.size() > 24) c.text.resize(24);
    c.byte = stopped;
  }
  if (once || !in.seek(start)) {
    if (fields == 0 && (want_text ? c.text.empty() : in.peek() < 0)) return c;  // the end: a clean end
    // A record that stored no field begins where the reading stopped.
    c.cut = true;
    if (fields != 0) {
      c.byte = start;
    } else if (!want_text) {
      c.byte = in.offset();
    }
    return c;
  }
  if (skip_space(in) < 0) return c;  // white space to the end: a clean end
  c.cut = c.counted = true;
  c.byte = in.offset();
  c.line = 1;
  in.seek(0);
  while (in.offset() < c.byte && in.peek() >= 0) {
    const char* end = in.pos() + std::min<long long>(in.limit() - in.pos(), c.byte - in.offset());
    c.line += std::count(in.pos(), end, '\n');
    in.advance_to(end);
  }
  const long long size = io_identity(in.fd()).size;
  c.rest = size > c.byte ? size - c.byte : 0;
  return c;
}

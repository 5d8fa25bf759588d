// Writing point-file records: write_record and its text.
#include "records/record_writer.h"

#include "records/value_text.h"

std::size_t record_room(const point_code& code) { return code.text_room() + 1 + value_text_max + 1 + value_text_max + 2; }

char* put_record(char* p, const point_code& code, double first, double second) {
  p = code.format(p);
  *p++ = '\t';
  p = format_value(p, first);
  *p++ = '\t';
  p = format_value(p, second);
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

void write_record(point_writer& out, const point_code& code, double first, double second) {
  out.commit_to(put_record(out.reserve(record_room(code)), code, first, second));
}

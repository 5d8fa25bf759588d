// Reading point-file records: the recognisers first, then the general
// scanner.
#include "record_read.h"

#include "record_fields.h"
#include "record_scan.h"
#include "value_text.h"

namespace {

TILVARO_INLINE const char* double_value(const char* p, double& value) {
  decimal d;
  p = decimal_value(p, d);
  if (p != nullptr) value = decimal_to_double(d.digits, d.exp10, d.negative);
  return p;
}

}  // namespace

int read_record(text_reader& reader, point_code& code, double& first, double& second) {
  std::int32_t c;
  double a, b;
  const char* p = decimal_code(reader.pos(), c);
  if (p && (p = double_value(p, a)) && (p = double_value(p, b))) {
    code.assign(c);
    first = a;
    second = b;
    reader.advance_to(p);
    return 3;
  }

  reader_cursor in(reader);
  if (!scan_code(in, code)) return 0;
  if (!scan_value(in, first)) return 1;
  if (!scan_value(in, second)) return 2;
  return 3;
}

// The rare fields of field_value: CR bytes inside a value.
#include "records/record_fields.h"

TILVARO_COLD
value_form field_value_cr(const char* p, decimal& d, const char*& end) {
  text_cursor<true> in(p);
  const value_form form = read_value(in, d);
  end = in.at();
  return form;
}

// The records of one input read in place for a report.
#include "records/input_scan.h"

#include "records/point_code.h"
#include "records/record_fields.h"
#include "records/record_read.h"
#include "records/record_scan.h"
#include "records/value_text.h"

namespace {

// A value field at p (white space and CRs before it skipped), taken into
// range; the end of the field, or nullptr when the quick way does not take
// it. The last value of a record ends at white space; a first one may end at
// any other byte too, where the second value then starts (1.5-2.5).
struct value_field {
  value_form form;
  decimal d;
  const char* at(const char* p, bool last) {
    form = field_value(p, d, p);
    return form == value_form::none || (last && !field_ends(p)) ? nullptr : p;
  }
};

// The record at p (white space skipped) within the buffered text ending at
// limit, its values taken into done; the end of its last field, or nullptr
// when it is not complete within the buffered text, or not a record at all
// (read_record then decides).
const char* record_at(const char* p, const char* limit, input_scanned& done) {
  std::int32_t code;
  const char* q = decimal_code(p, code);
  if (q == nullptr) {
    const std::size_t n = plain_code(p);
    q = n != 0 ? p + n : nullptr;
  }
  value_field first, second;
  if (q != nullptr && (q = first.at(skip_space_cr(q), false)) != nullptr &&
      (q = second.at(skip_space_cr(q), true)) != nullptr) {
    done.first.take(first.form, first.d);
    done.second.take(second.form, second.d);
    return q;
  }
  // Any other record, in the general way, as long as it ends before limit.
  raw_cursor in(p, limit);
  point_code long_code;
  double x, y;
  if (!scan_code(in, long_code) || !scan_value(in, x) || !scan_value(in, y) || in.at_limit()) return nullptr;
  done.first.take(x);
  done.second.take(y);
  return in.pos();
}

}  // namespace

input_scanned scan_input(text_reader& in) {
  input_scanned done;
  point_code code;
  double first, second;
  for (;;) {
    // Step 1: the records that lie whole in the buffered text.
    const char* p = skip_space_cr(in.pos());
    const char* const limit = in.limit();
    const char* end = nullptr;
    const char* next;
    while (p < limit && (next = record_at(p, limit, done)) != nullptr) {
      ++done.records;
      end = next;
      p = skip_space_cr(next);
    }
    if (end != nullptr) in.advance_to(end);
    // Step 2: the record there, read in full, refilling as needed.
    done.stop = in.offset();
    done.fields = read_record(in, code, first, second);
    if (done.fields != 3) return done;
    done.first.take(first);
    done.second.take(second);
    ++done.records;
    done.fields = 0;
  }
}

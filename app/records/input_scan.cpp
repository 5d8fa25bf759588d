// The records of one input read in place for a report.
#include "records/input_scan.h"

#include "records/point_code.h"
#include "records/record_fields.h"
#include "records/record_read.h"
#include "records/record_scan.h"
#include "records/value_text.h"

namespace {

// A value field at p (white space and CRs before it skipped) as a double;
// the end of the field, or nullptr when the quick way does not take it. The
// last value of a record ends at white space; a first one may end at any
// other byte too, where the second value then starts (1.5-2.5).
const char* value_at(const char* p, double& v, bool last) {
  decimal d;
  const value_form form = field_value(p, d, p);
  if (form == value_form::none || (last && !field_ends(p))) return nullptr;
  v = value_double(form, d);
  return p;
}

// The record at p (white space skipped) within the buffered text ending at
// limit: its values, and the end of its last field; nullptr when it is not
// complete within the buffered text, or not a record at all (read_record
// then decides).
const char* record_at(const char* p, const char* limit, double& first, double& second) {
  std::int32_t code;
  const char* q = decimal_code(p, code);
  if (q == nullptr) {
    const std::size_t n = plain_code(p);
    q = n != 0 ? p + n : nullptr;
  }
  if (q != nullptr && (q = value_at(skip_space_cr(q), first, false)) != nullptr &&
      (q = value_at(skip_space_cr(q), second, true)) != nullptr)
    return q;
  // Any other record, in the general way, as long as it ends before limit.
  raw_cursor in(p, limit);
  point_code long_code;
  if (!scan_code(in, long_code) || !scan_value(in, first) || !scan_value(in, second) || in.at_limit()) return nullptr;
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
    const char* end;
    while (p < limit && (end = record_at(p, limit, first, second)) != nullptr) {
      done.first.take(first);
      done.second.take(second);
      ++done.records;
      in.advance_to(end);
      p = skip_space_cr(end);
    }
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

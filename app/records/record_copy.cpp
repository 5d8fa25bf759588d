// Copying point-file records: the recognisers of record_fields.h on the
// buffered text, the general scanner for the records they leave.
#include "records/record_copy.h"

#include <cassert>

#include "records/record_fields.h"
#include "records/record_read.h"
#include "records/record_scan.h"
#include "records/value_text.h"

namespace {

// One value of the copy step that is not plain, as read_value reads it
// (field_value): a number is written from its decimal digits
// (format_decimal) or, when they cannot tell, from its double; INF and NAN
// as format_value writes them. False when it is not a value, or when it
// does not end as end_ok requires. formatted counts the values not copied as
// text. p stands at the field and moves to its end.
template <class EndOk>
TILVARO_INLINE bool copy_formatted_value(const char*& p, char*& o, std::size_t& formatted, EndOk end_ok) {
  decimal d;
  const value_form form = field_value(p, d, p);
  if (form == value_form::number && end_ok(p)) {
    ++formatted;
    if (char* end = format_decimal(o, d.digits, d.exp10, d.negative)) {
      o = end;
    } else {
      o = format_value(o, decimal_to_double(d.digits, d.exp10, d.negative));
    }
    return true;
  }
  if (form == value_form::none || !end_ok(p)) return false;
  ++formatted;
  o = format_value(o, value_double(form, d));
  return true;
}

// The last value of a record ends at white space: the next record's start
// is found from the byte after it. A first value may end at any other byte
// too, where the second value then starts (1.5-2.5).
inline bool ends_at_space(const char* end) { return field_ends(end); }
inline bool ends_anywhere(const char*) { return true; }

// A short value in exponent form (exponent_value), written with its point
// moved. False, and nothing moved, for any other field.
TILVARO_INLINE bool copy_exponent_value(const char*& p, const value_start& seen, char*& o, std::size_t& formatted) {
  shifted_digits v;
  const char* const end = exponent_value(p, seen, v);
  if (end == nullptr) return false;
  ++formatted;
  o = put_shifted_digits(o, v);
  p = end;
  return true;
}

// One value of the copy step: a plain value is copied as text, a short one
// in exponent form with its point moved, another one as
// copy_formatted_value writes it.
TILVARO_INLINE bool copy_value(const char*& p, char*& o, std::size_t& formatted) {
  value_start seen;
  if (const std::size_t n = plain_value(p, seen)) {
    o = put_plain_value(o, p, n, seen.decimals);
    p += n;
    return true;
  }
  return copy_exponent_value(p, seen, o, formatted) || copy_formatted_value(p, o, formatted, ends_at_space);
}

// The records the recognisers leave, within the buffered bytes [p, limit):
// read by read_record's general scanner and written as write_record writes
// them, at out, whose room ends at out_end. Returns the end of the record
// and moves out past its text, or nullptr when the record is not complete
// or reaches limit (read_record then reads it, refilling the buffer), or
// its text does not fit. Out of line: rare records.
TILVARO_NOINLINE
const char* copy_general_raw(const char* p, const char* limit, char*& out, const char* out_end) {
  raw_cursor in(p, limit);
  point_code code;
  double a, b;
  if (!scan_code(in, code) || !scan_value(in, a) || !scan_value(in, b) || in.at_limit()) return nullptr;
  if (static_cast<std::size_t>(out_end - out) < record_room(code)) return nullptr;
  out = put_record(out, code, a, b);
  return in.pos();
}

int copy_general(text_reader& in, point_writer& out) {
  point_code c;
  double a, b;
  const int fields = read_record(in, c, a, b);
  if (fields == 3) write_record(out, c, a, b);
  return fields;
}

// The recognisers of copy_record: the record at p (after white space)
// written at o. Returns the end of its last field, o moved past its text,
// and next set to where the record after it starts (white space skipped);
// or nullptr, o then holding scratch, when a field is not one that these
// paths take. formatted counts the fields not copied as text.
// Preconditions: o has room for copy_room bytes; every field these paths
// take ends at white space or a CR (field_ends), so next is found from the
// byte after the last field.
//
// The copy of successive records overlaps only where the next record's
// start is known before this one's fields are scanned: each field's end
// comes from the scan of the one before, a chain of loads that would
// otherwise pace the loop. So wherever a record's fields are copied as text
// (the written form, or a plain code and x), or its x is a short exponent
// value (exponent_value, nearly as cheap: without the search such records
// took some 10 % more CPU time), the LF ending its line is searched for from
// its start, and when the last field ends the line, next is taken from that
// search. The branch that checks it is what the next record waits for, not
// the scan, as long as records keep to one line. Records whose x is
// formatted otherwise are paced by the formatting instead, and do not pay
// the search. Where it is taken, each arm of that branch skips on its own:
// one shared skip after a selected pointer would let the compiler select it
// without a branch, from the scan.
//
// A record in the written form: 21 to 42 bytes, copied as 32 bytes from its
// start and 16 up to its end (both within the reader's padding, as the
// record is at least 21 bytes and ends before the sentinel). Its end is the
// LF, which the fields' scan must then meet. The search starts once the code
// and x are in that form.
static_assert(copy_room >= 16 + 1 + value_text_max + 1 + value_text_max + 2, "a record's text and scratch");

TILVARO_INLINE const char* copy_fields(const char* p, const char* limit, char*& out, std::size_t& formatted,
                                       const char*& next) {
  char* o = out;
  const char* const start = p;
  const char* e = written_code(p);
  if (e != nullptr && (e = written_value(e + 1, '\t')) != nullptr) {
    const char* lf = line_end(p, limit);
    if (lf != nullptr && written_value(e + 1, '\r') == lf - 1) {
      const std::size_t len = static_cast<std::size_t>(lf + 1 - p);
      assert(len >= 21 && len <= 42);
      std::memcpy(o, p, 32);
      std::memcpy(o + len - 16, p + len - 16, 16);
      out = o + len;
      next = skip_space_cr(lf + 1);
      return lf - 1;
    }
  }

  if (const std::size_t n = plain_code(p)) {
    o = put_text(o, p, n);
    p += n;
  } else {
    std::int32_t c;
    p = decimal_code(p, c);
    if (p == nullptr) return nullptr;
    ++formatted;
    o = format_code(o, c);
  }
  assert(field_ends(p));
  *o++ = '\t';
  p = skip_space_cr(p + 1);
  value_start seen;
  if (const std::size_t n = plain_value(p, seen)) {
    o = put_plain_value(o, p, n, seen.decimals);
    const char* const lf = line_end(start, limit);
    p = skip_space_cr(p + n + 1);
    *o++ = '\t';
    if (!copy_value(p, o, formatted)) return nullptr;
    if (lf != nullptr && (p == lf || p + 1 == lf)) {
      next = skip_space_cr(lf + 1);
    } else {
      next = skip_space_cr(p + 1);
    }
  } else if (copy_exponent_value(p, seen, o, formatted)) {
    const char* const lf = line_end(start, limit);
    *o++ = '\t';
    p = skip_space_cr(p + 1);
    if (!copy_value(p, o, formatted)) return nullptr;
    if (lf != nullptr && (p == lf || p + 1 == lf)) {
      next = skip_space_cr(lf + 1);
    } else {
      next = skip_space_cr(p + 1);
    }
  } else {
    if (!copy_formatted_value(p, o, formatted, ends_anywhere)) return nullptr;
    *o++ = '\t';
    p = skip_space_cr(p);
    if (!copy_value(p, o, formatted)) return nullptr;
    next = skip_space_cr(p + 1);
  }
  *o++ = '\r';
  *o++ = '\n';
  out = o;
  return p;
}

}  // namespace

int copy_record(text_reader& in, point_writer& out) {
  char* o = out.reserve(copy_room);
  std::size_t formatted = 0;
  const char* next;
  if (const char* end = copy_fields(skip_space_cr(in.pos()), in.limit(), o, formatted, next)) {
    out.commit_to(o);
    in.advance_to(end);
    return 3;
  }
  return copy_general(in, out);
}

record_run copy_run(const char* p, const char* limit, const char* stop, char* out, char* out_last) {
  // The positions stay in locals from record to record, and the next
  // record's start is copy_fields' next: for most records it waits only for
  // the search for the LF, not for the scan of the fields.
  const char* const first = skip_space_cr(p);
  record_run run{first, first, nullptr, out, 0, 0, false};
  while (run.out <= out_last && run.next < stop) {
    const char* next;
    const char* end = copy_fields(run.next, limit, run.out, run.formatted, next);
    if (end != nullptr) {
      run.next = next;
    } else {
      // Any other record is read here too, in the general way: the run
      // stops only at one that is not complete within the buffered bytes.
      end = copy_general_raw(run.next, limit, run.out, out_last + copy_room);
      if (end == nullptr) {
        run.blocked = true;
        break;
      }
      run.formatted += 3;
      run.next = skip_space_cr(end);
    }
    run.last = end;
    ++run.count;
  }
  return run;
}

record_run copy_records(text_reader& in, point_writer& out, const char* stop) {
  if (stop == nullptr) stop = in.limit() + 1;  // past any record start
  record_run all{};
  const char* p = in.pos();
  for (;;) {
    char* const o = out.reserve(copy_room);
    const record_run run = copy_run(p, in.limit(), stop, o, out.reserved_end() - copy_room);
    out.commit_to(run.out);
    if (all.first == nullptr) all.first = run.first;
    if (run.last != nullptr) all.last = run.last;
    all.count += run.count;
    all.formatted += run.formatted;
    p = all.next = run.next;
    if (run.blocked || p >= stop) {
      all.blocked = run.blocked;
      all.out = run.out;
      break;
    }
  }
  if (all.last != nullptr) in.advance_to(all.last);
  return all;
}

// The records of one input read in place for a report.
#include "records/input_scan.h"

#include <algorithm>
#include <thread>

#include "records/line_cuts.h"
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

// The records of a stretch of the buffered text.
struct scan_part {
  std::uint64_t records = 0;
  value_range first, second;
  const char* next = nullptr;  // the start of the first record not taken (white space skipped)
  const char* last = nullptr;  // the end of the last record taken; nullptr when none was

  // Takes the records of the part after this one.
  void append(const scan_part& later) {
    records += later.records;
    first.take(later.first);
    second.take(later.second);
    if (later.last != nullptr) last = later.last;
    next = later.next;
  }
};

// The record at p (white space skipped) within the buffered text ending at
// limit, its values taken into done; the end of its last field, or nullptr
// when it is not complete within the buffered text, or not a record at all
// (read_record then decides).
const char* record_at(const char* p, const char* limit, scan_part& done) {
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

// The records starting from p (white space skipped) before stop that lie
// whole in the buffered text ending at limit.
scan_part scan_records(const char* p, const char* limit, const char* stop) {
  scan_part part;
  p = skip_space_cr(p);
  const char* end;
  while (p < stop && p < limit && (end = record_at(p, limit, part)) != nullptr) {
    ++part.records;
    part.last = end;
    p = skip_space_cr(end);
  }
  part.next = p;
  return part;
}

// The later parts of a stretch cut for the helpers: part i starts at from[i]
// and takes the records starting before stop[i].
struct later_parts {
  const char* from[part_helpers::max_helpers];
  const char* stop[part_helpers::max_helpers];
  const char* limit;
  scan_part got[part_helpers::max_helpers];

  static void scan(void* job, unsigned i) noexcept {
    later_parts& j = *static_cast<later_parts*>(job);
    j.got[i] = scan_records(j.from[i], j.limit, j.stop[i]);
  }
};

// Step 1 of scan_input: the records that lie whole in the buffered text,
// in parts when the stretch is large enough and not cut before.
//  - the cuts, each after the first LF past an even share of the stretch;
//  - the first part here, the later ones on the helpers;
//  - each later part appended while the one before ended where it begins
//    (every byte between is then white space).
scan_part scan_buffered(text_reader& in, part_helpers& helpers, long long& cut_end, std::size_t min_split) {
  const char* const begin = in.pos();
  const char* const limit = in.limit();
  const auto length = static_cast<std::size_t>(limit - begin);
  const long long buffer_end = in.offset() + static_cast<long long>(length);
  if (length < min_split || buffer_end == cut_end || helpers.count() == 0) return scan_records(begin, limit, limit + 1);
  cut_end = buffer_end;
  const unsigned count = helpers.count();
  later_parts job;
  job.limit = limit;
  const unsigned later = cut_at_lines(begin, limit, count, job.from);
  if (later == 0) return scan_records(begin, limit, limit + 1);
  for (unsigned i = 0; i < later; ++i) job.stop[i] = i + 1 < later ? job.from[i + 1] : limit + 1;
  helpers.start(later_parts::scan, &job, later);
  scan_part all = scan_records(begin, limit, job.from[0]);
  helpers.wait();
  for (unsigned i = 0; i < later && all.next == skip_space_cr(job.from[i]); ++i) all.append(job.got[i]);
  return all;
}

}  // namespace

scan_splitter::scan_splitter(unsigned parts, std::size_t min_split)
    : helpers_((parts == 0 ? std::max(std::thread::hardware_concurrency(), 1u) : parts) - 1), min_split_(min_split) {}

input_scanned scan_input(text_reader& in, scan_splitter* splitter) {
  input_scanned done;
  point_code code;
  double first, second;
  for (;;) {
    // Step 1: the records that lie whole in the buffered text.
    const scan_part part = splitter != nullptr
                               ? scan_buffered(in, splitter->helpers_, splitter->cut_end_, splitter->min_split_)
                               : scan_records(in.pos(), in.limit(), in.limit() + 1);
    done.records += part.records;
    done.first.take(part.first);
    done.second.take(part.second);
    if (part.last != nullptr) in.advance_to(part.last);
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

// The merge's copy loop on several threads.
#include "records/split_copy.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

unsigned parts_wanted(unsigned parts) {
  if (parts == 0) parts = std::thread::hardware_concurrency();
  return std::min(std::max(parts, 1u), split_copy::max_parts);
}

}  // namespace

split_copy::split_copy(std::size_t min_split, unsigned parts)
    : min_split_(min_split), helpers_(parts_wanted(parts) - 1) {}

split_copy::~split_copy() = default;

// The cost of any record is bounded: a buffer the reader fills is cut at
// most once, whatever its records look like, so the hand-overs to the
// helpers number at most (parts - 1) per buffer of min_split bytes or more,
// never one per record. That holds because
//  - no record ends a part early but one that is not complete within the
//    buffered bytes (copy_run reads every other one itself, in the general
//    way when its fast paths do not take it): there the part, and the
//    copy, stop once per buffer (the merge reads that record, refilling),
//    or at the end of the data;
//  - a part thrown away (a record over several lines crossed its cut)
//    leaves the rest of its buffer to this thread: copy() is called again
//    there, in the same buffer, and does not cut it again;
//  - whether to cut is decided from the last stretch copied (note()): when
//    that is wrong, the cost is one cut of one buffer.
// No record costs a system call or a refill of its own either: the copy
// stops only at a buffer's end or at the end of the data.
std::size_t split_copy::copy(text_reader& in, point_writer& out) {
  const char* const begin = in.pos();
  const char* const limit = in.limit();
  const auto length = static_cast<std::size_t>(limit - begin);
  const long long buffer_end = in.offset() + static_cast<long long>(length);
  if (length < min_split_ || !heavy_ || buffer_end == cut_end_ || helpers_.count() == 0)
    return note(copy_records(in, out));
  cut_end_ = buffer_end;
  const unsigned helper_count = helpers_.count();

  // Step 1: the cuts, each after the first LF past an even share of the
  // stretch; a later part starts at each cut.
  const char* cuts[max_parts];
  unsigned later = 0;
  const char* from = begin;
  for (unsigned i = 0; i < helper_count; ++i) {
    const char* target = std::max(from, begin + length * (i + 1) / (helper_count + 1));
    const void* lf = std::memchr(target, '\n', static_cast<std::size_t>(limit - target));
    if (lf == nullptr) break;
    from = static_cast<const char*>(lf) + 1;
    cuts[later++] = from;
  }
  if (later == 0) return note(copy_records(in, out));
  cuts[later] = limit + 1;  // past any record start
  later_parts job;
  job.limit = limit;
  for (unsigned i = 0; i < later; ++i) {
    if (!buffers_[i]) buffers_[i].reset(new char[buffer_size]);
    job.from[i] = cuts[i];
    job.stop[i] = cuts[i + 1];
    job.buffer[i] = buffers_[i].get();
  }
  counts_.started += later;
  helpers_.start(later_parts::copy, &job, later);

  // Step 2: the first part, here: the records starting before the first cut.
  record_run all = copy_records(in, out, cuts[0]);

  // Step 3: each later part is appended while the one before ended where it
  // begins: every byte in between is then white space, which the copy of
  // the whole stretch would have skipped. The helpers are waited for in any
  // case, as they read the reader's buffer.
  helpers_.wait();
  for (unsigned i = 0; i < later; ++i) {
    const record_run& run = job.run[i];
    if (all.next != run.first) {
      counts_.dropped += later - i;
      break;
    }
    for (const char* p = job.buffer[i]; p < run.out;) {
      char* const o = out.reserve(1);
      const auto n = std::min(static_cast<std::size_t>(run.out - p), static_cast<std::size_t>(out.reserved_end() - o));
      std::memcpy(o, p, n);
      out.commit_to(o + n);
      p += n;
    }
    if (run.last != nullptr) in.advance_to(run.last);
    all.count += run.count;
    all.formatted += run.formatted;
    all.next = run.next;
  }
  return note(all);
}

// Text copied as it stands runs near the speed of memory: cutting it into
// parts costs more in hand-overs and cache traffic than it saves, where
// fields that are formatted cost several times as much. So the next
// stretch is cut only when more fields than records were formatted in the
// last one that held enough records to tell (not the few records left in a
// buffer after one the fast paths do not take).
std::size_t split_copy::note(const record_run& run) {
  if (run.count >= 64) heavy_ = run.formatted > run.count;
  return run.count;
}

void split_copy::later_parts::copy(void* job, unsigned i) noexcept {
  later_parts& j = *static_cast<later_parts*>(job);
  j.run[i] = copy_run(j.from[i], j.limit, j.stop[i], j.buffer[i], j.buffer[i] + buffer_size - copy_room);
}

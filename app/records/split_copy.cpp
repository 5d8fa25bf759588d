// The merge's copy loop on several threads.
#include "records/split_copy.h"

#include <algorithm>
#include <cstring>

#include "records/line_cuts.h"
#include "streams/side_thread.h"

split_copy::split_copy(std::size_t min_split, unsigned parts) : min_split_(min_split), parts_(parts) {
  if (parts_ == 0) parts_ = std::thread::hardware_concurrency();
  parts_ = std::min(std::max(parts_, 1u), max_parts);
}

split_copy::~split_copy() {
  std::unique_lock<std::mutex> lock(mutex_);
  ending_ = true;
  work_or_ending_.notify_all();
  lock.unlock();
  for (unsigned i = 0; i < helper_count_; ++i) helpers_[i]->thread.join();
}

// Starts the helpers' threads; those that cannot be started are not used.
void split_copy::start_helpers() {
  started_ = true;
  for (unsigned i = 0; i + 1 < parts_; ++i) {
    std::unique_ptr<helper> h(new helper);
    h->owner = this;
    h->buffer.reset(new char[buffer_size]);
    start_side_thread(h->thread, h.get(), &helper::work_loop);
    if (!h->thread.joinable()) break;
    helpers_[helper_count_++] = std::move(h);
  }
}

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
  if (parts_ < 2 || length < min_split_ || !heavy_ || buffer_end == cut_end_) return note(copy_records(in, out));
  if (!started_) start_helpers();
  cut_end_ = buffer_end;

  // Step 1: the cuts, each after the first LF past an even share of the
  // stretch; a later part starts at each cut.
  const char* cuts[max_parts];
  const unsigned later = cut_at_lines(begin, limit, helper_count_, cuts);
  if (later == 0) return note(copy_records(in, out));
  cuts[later] = limit + 1;  // past any record start
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (unsigned i = 0; i < later; ++i) {
      helper& h = *helpers_[i];
      h.from = cuts[i];
      h.stop = cuts[i + 1];
      h.limit = limit;
      h.working = true;
    }
    pending_ = later;
  }
  counts_.started += later;
  work_or_ending_.notify_all();

  // Step 2: the first part, here: the records starting before the first cut.
  record_run all = copy_records(in, out, cuts[0]);

  // Step 3: each later part is appended while the one before ended where it
  // begins: every byte in between is then white space, which the copy of
  // the whole stretch would have skipped. The helpers are waited for in any
  // case, as they read the reader's buffer.
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
  lock.unlock();
  for (unsigned i = 0; i < later; ++i) {
    const helper& h = *helpers_[i];
    if (all.next != h.run.first) {
      counts_.dropped += later - i;
      break;
    }
    for (const char* p = h.buffer.get(); p < h.run.out;) {
      char* const o = out.reserve(1);
      const auto n = std::min(static_cast<std::size_t>(h.run.out - p), static_cast<std::size_t>(out.reserved_end() - o));
      std::memcpy(o, p, n);
      out.commit_to(o + n);
      p += n;
    }
    if (h.run.last != nullptr) in.advance_to(h.run.last);
    all.count += h.run.count;
    all.formatted += h.run.formatted;
    all.next = h.run.next;
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

void split_copy::helper::work_loop() noexcept {
  std::unique_lock<std::mutex> lock(owner->mutex_);
  for (;;) {
    owner->work_or_ending_.wait(lock, [this] { return working || owner->ending_; });
    if (owner->ending_) return;
    lock.unlock();
    char* const out = buffer.get();
    const record_run done = copy_run(from, limit, stop, out, out + buffer_size - copy_room);
    lock.lock();
    run = done;
    working = false;
    if (--owner->pending_ == 0) owner->done_.notify_one();
  }
}

// The merge's copy loop on two threads.
#include "split_copy.h"

#include <algorithm>
#include <cstring>

#include "side_thread.h"

split_copy::split_copy(std::size_t min_split) : min_split_(min_split) {}

split_copy::~split_copy() {
  std::unique_lock<std::mutex> lock(mutex_);
  end_side_thread(thread_, lock, ending_, work_or_ending_);
}

std::size_t split_copy::copy(text_reader& in, point_writer& out) {
  const char* const begin = in.pos();
  const char* const limit = in.limit();
  if (static_cast<std::size_t>(limit - begin) < min_split_) return copy_records(in, out);

  // Step 1: the second half starts after the first LF past the middle.
  const char* const middle = begin + (limit - begin) / 2;
  const void* lf = std::memchr(middle, '\n', static_cast<std::size_t>(limit - middle));
  if (lf == nullptr) return copy_records(in, out);
  const char* const from = static_cast<const char*>(lf) + 1;
  if (!started_) {
    started_ = true;
    buffer_.reset(new char[buffer_size]);
    start_side_thread(thread_, this, &split_copy::work_loop);
  }
  if (!thread_.joinable()) return copy_records(in, out);  // no thread to be had
  {
    std::lock_guard<std::mutex> lock(mutex_);
    from_ = from;
    limit_ = limit;
    working_ = true;
  }
  work_or_ending_.notify_one();

  // Step 2: the first half, here. The records starting before from.
  const char* next;
  std::size_t count = copy_records(in, out, from, &next);

  // Step 3: the second half joins when the first ended where it began:
  // then every byte between the first half's last record and the second's
  // first is white space, as the sequential copy would have skipped.
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !working_; });
  const record_run second = run_;
  lock.unlock();
  if (next == second.first && second.count > 0) {
    for (const char* p = buffer_.get(); p < second.out;) {
      char* const o = out.reserve(1);
      const auto n = std::min(static_cast<std::size_t>(second.out - p), static_cast<std::size_t>(out.reserved_end() - o));
      std::memcpy(o, p, n);
      out.commit_to(o + n);
      p += n;
    }
    in.advance_to(second.last);
    count += second.count;
  }
  return count;
}

void split_copy::work_loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_or_ending_.wait(lock, [this] { return working_ || ending_; });
    if (ending_) return;
    const char* const from = from_;
    const char* const limit = limit_;
    lock.unlock();
    char* const out = buffer_.get();
    const record_run run = copy_run(from, limit, limit + 1, out, out + buffer_size - copy_room);
    lock.lock();
    run_ = run;
    working_ = false;
    done_.notify_one();
  }
}

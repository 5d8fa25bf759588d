// Threads that take parts of a job beside the caller's thread.
#include "records/part_helpers.h"

#include <algorithm>

#include "streams/side_thread.h"

part_helpers::part_helpers(unsigned count) : wanted_(std::min(count, max_helpers)) {}

part_helpers::~part_helpers() {
  std::unique_lock<std::mutex> lock(mutex_);
  ending_ = true;
  work_or_ending_.notify_all();
  lock.unlock();
  for (unsigned i = 0; i < count_; ++i) helpers_[i]->thread.join();
}

// The helpers are started at the first job; those that cannot be started
// are not used.
unsigned part_helpers::count() {
  if (started_) return count_;
  started_ = true;
  for (unsigned i = 0; i < wanted_; ++i) {
    std::unique_ptr<helper> h(new helper);
    h->owner = this;
    h->part = i;
    start_side_thread(h->thread, h.get(), &helper::work_loop);
    if (!h->thread.joinable()) break;
    helpers_[count_++] = std::move(h);
  }
  return count_;
}

void part_helpers::start(work_fn work, void* job, unsigned parts) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_ = work;
    job_ = job;
    pending_ = parts;
    for (unsigned i = 0; i < parts; ++i) helpers_[i]->working = true;
  }
  work_or_ending_.notify_all();  // the lock released: the woken helpers need not wait for it
}

void part_helpers::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
}

void part_helpers::helper::work_loop() noexcept {
  std::unique_lock<std::mutex> lock(owner->mutex_);
  for (;;) {
    owner->work_or_ending_.wait(lock, [this] { return working || owner->ending_; });
    if (owner->ending_) return;
    const work_fn work = owner->work_;
    void* const job = owner->job_;
    lock.unlock();
    work(job, part);
    lock.lock();
    working = false;
    if (--owner->pending_ == 0) owner->done_.notify_one();
  }
}

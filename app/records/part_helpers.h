// Threads that take parts of a job beside the caller's thread: the caller
// hands each helper a part, does its own part, then waits for them all.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class part_helpers {
 public:
  static constexpr unsigned max_helpers = 3;

  // A part's work: work(job, part), part from 0 to parts - 1. Allocates
  // nothing and throws nothing (side_thread.h).
  using work_fn = void (*)(void* job, unsigned part) noexcept;

  // Up to count helpers (at most max_helpers), started at the first job.
  explicit part_helpers(unsigned count);
  ~part_helpers();
  part_helpers(const part_helpers&) = delete;
  part_helpers& operator=(const part_helpers&) = delete;

  // How many helpers there are: before the first start(), as many as asked
  // for; after it, as many as could be started (maybe none).
  unsigned count();

  // Hands part i of job to helper i, for i < parts. Precondition: parts <=
  // count(), and no job is running.
  void start(work_fn work, void* job, unsigned parts);
  // Waits until every part handed over is done.
  void wait();

 private:
  struct helper {
    part_helpers* owner = nullptr;
    unsigned part = 0;
    bool working = false;
    std::thread thread;
    void work_loop() noexcept;
  };

  unsigned wanted_;
  bool started_ = false;
  std::unique_ptr<helper> helpers_[max_helpers];
  unsigned count_ = 0;

  std::mutex mutex_;
  std::condition_variable work_or_ending_;  // wakes the helpers
  std::condition_variable done_;            // wakes the caller
  work_fn work_ = nullptr;
  void* job_ = nullptr;
  unsigned pending_ = 0;  // parts handed over and not yet done
  bool ending_ = false;
};

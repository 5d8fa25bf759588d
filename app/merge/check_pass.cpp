// The look at every input: what the merge would read of it, and what keeps
// it from being merged whole. The inputs are looked at on several threads
// at once, each with a reader of its own, and said in the order named.
#include "merge/check_pass.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "console/diagnostic.h"
#include "console/progress.h"
#include "host/io.h"
#include "merge/input_look.h"
#include "merge/passes.h"
#include "streams/side_thread.h"

namespace {

// Looks at inputs 1 to num_arch on worker threads and hands the looks back
// in order. A worker takes the next input while it is fewer than window
// inputs ahead of the one handed back last, so memory stays fixed however
// many inputs there are. A worker that cannot be started is not used; with
// none, the caller looks at the inputs itself.
class look_queue {
 public:
  static constexpr unsigned max_workers = 4;

  explicit look_queue(unsigned workers);
  ~look_queue();
  look_queue(const look_queue&) = delete;
  look_queue& operator=(const look_queue&) = delete;

  bool working() const { return count_ > 0; }

  // Input i's look, i = 1, 2, ... in turn, waited for; the bytes read
  // meanwhile are counted into progress. Out of memory on a worker is
  // thrown here, on the caller's thread.
  look take(std::int64_t i, progress_line& progress);

 private:
  struct worker {
    look_queue* owner = nullptr;
    std::thread thread;
    text_reader in;
    void work_loop() noexcept;
  };
  struct slot {
    look l;
    bool done = false;
    bool out_of_memory = false;
  };

  std::mutex mutex_;
  std::condition_variable work_;  // wakes the workers
  std::condition_variable done_;  // wakes the caller
  std::vector<slot> slots_;       // input i in slots_[i % window]
  std::int64_t next_ = 1;         // the next input to look at
  std::int64_t taken_ = 0;        // the last input handed back
  bool ending_ = false;
  std::atomic<std::uint64_t> bytes_{0};  // read and not yet counted into the progress line
  std::unique_ptr<worker> workers_[max_workers];
  unsigned count_ = 0;
};

look_queue::look_queue(unsigned workers) : slots_(2 * std::min(workers, max_workers)) {
  for (unsigned i = 0; i < std::min(workers, max_workers); ++i) {
    std::unique_ptr<worker> w(new worker);
    w->owner = this;
    w->in.prefetch(true);  // each input is read to its end
    start_side_thread(w->thread, w.get(), &worker::work_loop);
    if (!w->thread.joinable()) break;
    workers_[count_++] = std::move(w);
  }
}

look_queue::~look_queue() {
  std::unique_lock<std::mutex> lock(mutex_);
  ending_ = true;
  work_.notify_all();
  lock.unlock();
  for (unsigned i = 0; i < count_; ++i) workers_[i]->thread.join();
}

void look_queue::worker::work_loop() noexcept {
  look_queue& q = *owner;
  const auto window = static_cast<std::int64_t>(q.slots_.size());
  std::unique_lock<std::mutex> lock(q.mutex_);
  for (;;) {
    q.work_.wait(lock, [&] { return q.ending_ || (q.next_ <= num_arch && q.next_ <= q.taken_ + window); });
    if (q.ending_) return;
    const std::int64_t i = q.next_++;
    slot& s = q.slots_[static_cast<std::size_t>(i % window)];
    lock.unlock();
    look l;
    bool out_of_memory = false;
    try {
      look_at(im_number[static_cast<std::size_t>(i)], in, nullptr, {nullptr, &q.bytes_}, l);
    } catch (const std::bad_alloc&) {
      out_of_memory = true;
      in.observe(nullptr, nullptr);  // its watch is gone
      in.close();
    }
    lock.lock();
    s.l = std::move(l);
    s.out_of_memory = out_of_memory;
    s.done = true;
    q.done_.notify_one();
  }
}

look look_queue::take(std::int64_t i, progress_line& progress) {
  slot& s = slots_[static_cast<std::size_t>(i % static_cast<std::int64_t>(slots_.size()))];
  std::unique_lock<std::mutex> lock(mutex_);
  while (!done_.wait_for(lock, progress_line::interval, [&] { return s.done; })) {
    lock.unlock();
    progress.add(bytes_.exchange(0));
    lock.lock();
  }
  look l = std::move(s.l);
  const bool out_of_memory = s.out_of_memory;
  s = slot();
  taken_ = i;
  work_.notify_all();
  lock.unlock();
  progress.add(bytes_.exchange(0));
  if (out_of_memory) throw std::bad_alloc();
  return l;
}

// How many inputs to look at at once: one per core; none (the caller looks,
// its stretches split) for one input or one core.
unsigned workers_wanted() {
  const std::int64_t n = std::min<std::int64_t>(std::thread::hardware_concurrency(), num_arch);
  return n < 2 ? 0 : static_cast<unsigned>(n);
}

// The inputs' sizes added up, for the progress line, as the file system
// gives them before they are read: 0 when one has none (standard input, a
// pipe); an input that cannot be found adds nothing.
std::uint64_t sizes_named() {
  std::uint64_t total = 0;
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    const image& input = im_number[static_cast<std::size_t>(i)];
    if (input.from_stdin) return 0;
    const io_file_id id = io_identity_of(opened_path(input.name));
    if (id.known && id.size < 0) return 0;
    if (id.known) total += static_cast<std::uint64_t>(id.size);
  }
  return total;
}

}  // namespace

bool check_pass() {
  say("path\tbytes\trecords\tmin x\tmin y\tmax x\tmax y\tmin z\tmax z\tfirst min\tfirst max\tsecond min\tsecond max"
      "\tline ends\tproblems\n");
  bounds b;
  b.tight = choices.tight_bounds;
  progress_line progress;
  if (choices.progress) progress.start(sizes_named());
  progress.follow("");  // drawn after each line of the report, at the start of the next
  look_queue queue(workers_wanted());
  // When no worker looks, this thread does, with helpers for the parts of
  // its large stretches.
  std::unique_ptr<text_reader> in;
  std::unique_ptr<scan_splitter> splitter;
  if (!queue.working()) {
    in.reset(new text_reader);
    in->prefetch(true);  // each input is read to its end
    splitter.reset(new scan_splitter);
  }
  bool all_whole = true;
  std::uint64_t records = 0;
  for (std::int64_t i = 1; i <= num_arch; ++i) {
    const image& input = im_number[static_cast<std::size_t>(i)];
    look l;
    if (queue.working()) {
      l = queue.take(i, progress);
    } else {
      look_at(input, *in, splitter.get(), {&progress, nullptr}, l);
    }
    b.take(l.header);
    all_whole = all_whole && l.whole;
    records += l.records;
    progress.erase();
    say(shown_name(input.name) + (l.fields.empty() ? std::string(13, '\t') : l.fields) + "\t" +
        (l.problems.empty() ? "" : l.problems.substr(2)) + "\n");
    progress.follow("");
  }
  progress.finish();
  const std::int64_t inputs = num_arch < 0 ? 0 : num_arch;
  say("\n" + extent_text(b).substr(1) + "\n\t" + std::to_string(inputs) + (inputs == 1 ? " input, " : " inputs, ") +
      std::to_string(records) + (records == 1 ? " record\n" : " records\n"));
  return all_whole;
}

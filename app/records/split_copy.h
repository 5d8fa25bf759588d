// The merge's copy loop on several threads.
//
// Formatting fields costs far more than the reading and writing around it,
// so a large buffered stretch of input whose fields are mostly formatted
// (not copied as text) is cut at line ends into parts, one per
// core (up to max_parts), and the parts are copied at once: the first on the
// merge's thread, straight into the result, each later one on a thread of its
// own, into a buffer of its own. A later part's text is appended when the
// part before it ended exactly where it begins (a record over several lines
// may cross a cut; then it is not, and the copy goes on from where the parts
// appended so far end). Either way the result is that of copy_records, byte
// for byte. Memory stays fixed: one buffer per later part. A buffer is cut
// at most once, so a record never costs a hand-over of its own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "records/record_copy.h"

class split_copy {
 public:
  static constexpr unsigned max_parts = 4;

  // Cuts buffered stretches of at least min_split bytes into parts (parts
  // 0: as many as the host has cores; 1: none, all is copied here).
  explicit split_copy(std::size_t min_split = 1 << 16, unsigned parts = 0);
  ~split_copy();
  split_copy(const split_copy&) = delete;
  split_copy& operator=(const split_copy&) = delete;

  // What copy_records(in, out) does, with the same result; returns the
  // number of records copied.
  std::size_t copy(text_reader& in, point_writer& out);

  // How many later parts were given to helpers, and how many of them were
  // thrown away (a record over several lines crossed their cut, or an
  // earlier part stopped before it), since the copier was made.
  struct part_counts {
    std::size_t started = 0;
    std::size_t dropped = 0;
  };
  part_counts parts() const { return counts_; }

 private:
  static constexpr std::size_t buffer_size = 1 << 18;

  // A later part: its thread, its buffer, and what it is given and gives.
  struct helper {
    split_copy* owner = nullptr;
    std::unique_ptr<char[]> buffer;
    std::thread thread;
    const char* from = nullptr;  // the part: records starting from here
    const char* stop = nullptr;  // up to here (the next part's start)
    const char* limit = nullptr;
    bool working = false;  // given and not yet done
    record_run run{};      // its copy, once done
    void work_loop() noexcept;
  };

  void start_helpers();
  std::size_t note(const record_run& run);

  const std::size_t min_split_;
  unsigned parts_;
  bool started_ = false;
  bool heavy_ = true;  // the fields of the last stretch were mostly formatted
  long long cut_end_ = -1;  // the end (file offset) of the buffer cut last
  part_counts counts_;
  std::unique_ptr<helper> helpers_[max_parts - 1];
  unsigned helper_count_ = 0;

  std::mutex mutex_;
  std::condition_variable work_or_ending_;  // wakes the helpers
  std::condition_variable done_;            // wakes the merge's thread
  unsigned pending_ = 0;                    // helpers still working
  bool ending_ = false;
};

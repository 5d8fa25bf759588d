// The merge's copy loop on several threads.
//
// Formatting fields costs far more than the reading and writing around it,
// so a large buffered stretch of input whose fields are mostly formatted
// (not copied as text) is cut at line ends into parts, one per
// core (up to max_parts), and the parts are copied at once: the first on the
// merge's thread, straight into the result, each later one on a helper of its
// own (part_helpers.h), into a buffer of its own. A later part's text is appended when the
// part before it ended exactly where it begins (a record over several lines
// may cross a cut; then it is not, and the copy goes on from where the parts
// appended so far end). Either way the result is that of copy_records, byte
// for byte. Memory stays fixed: one buffer per later part. A buffer is cut
// at most once, so a record never costs a hand-over of its own.
#pragma once

#include <cstddef>
#include <memory>

#include "records/part_helpers.h"
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

  // The later parts of a stretch: what each helper is given and gives.
  struct later_parts {
    const char* from[max_parts - 1];  // part i: records starting from here
    const char* stop[max_parts - 1];  // up to here (the next part's start)
    const char* limit;
    char* buffer[max_parts - 1];
    record_run run[max_parts - 1];  // its copy, once done
    static void copy(void* job, unsigned i) noexcept;
  };

  std::size_t note(const record_run& run);

  const std::size_t min_split_;
  bool heavy_ = true;  // the fields of the last stretch were mostly formatted
  long long cut_end_ = -1;  // the end (file offset) of the buffer cut last
  part_counts counts_;
  part_helpers helpers_;  // one fewer than the parts
  std::unique_ptr<char[]> buffers_[max_parts - 1];  // one per helper, made at the first cut
};

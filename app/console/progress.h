// The progress line of a long merge, on standard error.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

// The line's text: bytes done of the total, the share done, the rate and the
// time left, e.g. "1.2 GB of 3.4 GB (35%), 410.0 MB/s, 0:05 left". With no
// time passed yet, or nothing done, rate and time left are left out; with a
// total of 0 (sizes unknown) only the bytes done are shown. In fewer than
// room columns the rate goes first, then the amounts ("35%, 0:05 left"),
// then the time left; "" when not even the share done fits.
std::string progress_text(std::uint64_t done, std::uint64_t total, double seconds,
                          std::size_t room = std::numeric_limits<std::size_t>::max());

// One line on standard error, redrawn in place at most every interval as
// bytes are counted, erased at the end. When standard output is the same
// terminal, the line goes on a row of its own below the console's line the
// cursor is on (given by follow()), and its erase puts the cursor back at
// the end of that line's text, so the screen is left as the console's text
// alone leaves it; a console that cannot move its cursor up (Windows before
// 10) gets the line behind the console's text on its row instead. It never
// wraps: it takes only the room the terminal's row leaves, short of the last
// column, and is left out when there is none. An interruption (interrupt.h)
// erases it too. Counting happens once per buffer of input read, never per
// record. One progress line at a time is drawn.
class progress_line {
 public:
  static constexpr std::chrono::milliseconds interval{250};

  progress_line() = default;
  // Erases the line, also when the merge is unwound (out of memory).
  ~progress_line() { finish(); }
  progress_line(const progress_line&) = delete;
  progress_line& operator=(const progress_line&) = delete;

  // Starts counting towards total bytes.
  void start(std::uint64_t total);
  // Draws the line for console_line, the text of the console line that the
  // cursor now stands at the end of ("" when standard output is not the
  // terminal). Erase the line before the console writes.
  void follow(const std::string& console_line);
  // Erases the line's text, leaving the cursor where the console left it.
  void erase();
  // Counts bytes read; redraws when the interval has passed.
  void add(std::size_t bytes);
  // Erases the line's text and stops drawing; a console whose mode was
  // changed for the line gets its mode back.
  void finish();

  // A text_reader observer (text_reader::observe) counting into ctx, a
  // progress_line.
  static void count(void* ctx, const char*, std::size_t, std::size_t bytes) {
    static_cast<progress_line*>(ctx)->add(bytes);
  }

 private:
  void draw(std::chrono::steady_clock::time_point now);

  using clock = std::chrono::steady_clock;
  bool started_ = false;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  clock::time_point begin_, last_;
  std::string prefix_;          // the console's text on the line
  int cursor_up_ = -1;          // the terminal takes the cursor-up sequence; -1: not asked yet
  bool below_ = false;          // the line goes on the row below the prefix's
  bool on_row_ = false;         // the cursor is on that row below
  std::size_t shown_ = 0;       // columns written for the line
  std::string erase_;           // what takes them off the screen again
  std::size_t blank_size_ = 0;  // its part that blanks the line's own row
};

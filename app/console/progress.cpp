// The progress line: its text, and drawing it in place on standard error.
#include "console/progress.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "console/screen_row.h"
#include "host/interrupt.h"
#include "host/io.h"
#include "host/terminal.h"

namespace {

// Bytes in decimal units: "512 B", "12.5 MB", "3.4 GB".
std::string amount(double bytes) {
  static const char* const units[] = {"B", "kB", "MB", "GB", "TB", "PB"};
  int u = 0;
  while (bytes >= 1000.0 && u < 5) {
    bytes /= 1000.0;
    ++u;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
  return buf;
}

// Seconds as m:ss, or h:mm:ss from an hour up.
std::string duration(double seconds) {
  const unsigned long long s = static_cast<unsigned long long>(seconds + 0.5);
  char buf[48];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%llu:%02llu", s / 60, s % 60);
  return buf;
}

void put(const char* bytes, std::size_t size) { (void)io_write_all(io_stderr, bytes, size); }
void put(const std::string& bytes) { put(bytes.data(), bytes.size()); }

// The bytes that erase the line on the screen, for the interruption handler,
// which may run at any point of the drawing thread. Each update is written
// into the buffer that is not published, then published with one store
// (after it, in the order the handler sees), so the handler writes either
// the erase before the update or the one after it, never a half-made one.
// The erase is published before what it erases is drawn, and withdrawn
// after it has been written.
constexpr std::size_t erase_max = 4096;
char erase_bytes[2][erase_max];
std::size_t erase_size[2];
std::atomic<int> erase_published{-1};  // the buffer to write, -1 for none
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads it");

// Async-signal-safe: run by the interruption clean-up. The console gets its
// mode back once the erase, which may move its cursor, is written.
void erase_on_interrupt() {
  const int i = erase_published.load(std::memory_order_acquire);
  if (i >= 0) (void)io_write_all(io_stderr, erase_bytes[i], erase_size[i]);
  stderr_cursor_up_off();
}

void publish_erase(const std::string& bytes) {
  const int i = erase_published.load(std::memory_order_relaxed) == 0 ? 1 : 0;
  std::memcpy(erase_bytes[i], bytes.data(), bytes.size());
  erase_size[i] = bytes.size();
  erase_published.store(i, std::memory_order_release);
}

void withdraw_erase() { erase_published.store(-1, std::memory_order_release); }

// Moving the cursor between the console's row and the progress line's row
// below it cannot be written twice: the erase the handler writes must stand
// for the row the cursor is on. So the move and the change of the published
// erase go together, with the handled signals held back (POSIX). Where the
// handler runs beside this thread (Windows) they go in the order that, if it
// comes between them, at worst leaves the cursor on the blank row below.
struct row_move {
  const char* bytes;
  std::size_t size;
  const std::string* erase;  // published after the move down; nullptr: withdrawn before the move up
};

void move_rows(void* context) {
  const row_move& move = *static_cast<const row_move*>(context);
  if (move.erase == nullptr) withdraw_erase();
  put(move.bytes, move.size);
  if (move.erase != nullptr) publish_erase(*move.erase);
}

const char row_down[] = "\r\n";
const char row_up[] = "\x1b[A";  // one row up, in the same column

}  // namespace

std::string progress_text(std::uint64_t done, std::uint64_t total, double seconds, std::size_t room) {
  const std::string bytes = amount(static_cast<double>(done));
  if (total == 0) return bytes.size() <= room ? bytes : "";
  if (done > total) done = total;  // an input that grew while it was read
  const std::string share = std::to_string(done * 100 / total) + "%";
  const std::string amounts = bytes + " of " + amount(static_cast<double>(total)) + " (" + share + ")";
  std::string forms[4] = {amounts, amounts, share, share};  // longest first
  if (seconds > 0.0 && done > 0) {
    const double rate = static_cast<double>(done) / seconds;
    const std::string left = duration(static_cast<double>(total - done) / rate) + " left";
    forms[0] += ", " + amount(rate) + "/s, " + left;
    forms[1] += ", " + left;
    forms[2] += ", " + left;
  }
  for (const std::string& form : forms)
    if (form.size() <= room) return form;
  return "";
}

void progress_line::start(std::uint64_t total) {
  started_ = true;
  total_ = total;
  done_ = 0;
  begin_ = last_ = clock::now();
  interrupt_set_erase(erase_on_interrupt);
}

void progress_line::follow(const std::string& console_line) {
  if (!started_) return;
  erase();
  prefix_ = console_line;
  if (!prefix_.empty() && cursor_up_ < 0) cursor_up_ = stderr_cursor_up_on() ? 1 : 0;
  below_ = !prefix_.empty() && cursor_up_ == 1;
  draw(clock::now());
}

void progress_line::add(std::size_t bytes) {
  done_ += bytes;
  const clock::time_point now = clock::now();
  if (!started_ || now - last_ < interval) return;
  last_ = now;
  draw(now);
}

// On the row below, the row is blanked first (the published erase still
// stands for it), then the cursor goes back up.
void progress_line::erase() {
  if (shown_ == 0) return;
  if (on_row_) {
    put(erase_.data(), blank_size_);
    row_move up{erase_.data() + blank_size_, erase_.size() - blank_size_, nullptr};
    interrupt_shielded(move_rows, &up);
    on_row_ = false;
  } else {
    put(erase_);
    withdraw_erase();
  }
  shown_ = 0;
}

void progress_line::finish() {
  erase();
  if (cursor_up_ == 1) stderr_cursor_up_off();
  cursor_up_ = -1;
  started_ = false;
}

// The line goes on the row below the console's text (the prefix), and the
// erase blanks that row and rewrites the prefix's last row (the terminal may
// have wrapped the console's text), which leaves the cursor where the
// console left it. Without the cursor-up sequence it goes on that last row
// itself, two blanks behind the prefix, rewritten with it. Blanks after the
// line take away what a longer text left behind. The text takes at most the
// columns up to the row's last but three, so neither the row nor the
// terminal's echo of the interrupt key ("^C") behind the text wraps, and the
// carriage return always finds its start.
void progress_line::draw(clock::time_point now) {
  const std::size_t width = static_cast<std::size_t>(std::max(stderr_columns(), 1));
  const screen_row row = last_row(prefix_, width);
  const std::size_t start = below_ ? 0 : row.column;  // the line's first column
  const std::size_t gap = prefix_.empty() || below_ ? 0 : 2;
  const std::size_t space = row.known && row.column < width && start + 1 < width ? width - 1 - start : 0;
  const std::size_t room = space > gap + 2 ? space - gap - 2 : 0;  // two columns kept for the echo
  const std::string text = progress_text(done_, total_, std::chrono::duration<double>(now - begin_).count(), room);
  const std::string tail = "\r" + prefix_.substr(row.start);
  const std::string head = below_ ? "\r" : tail;  // what the line is drawn behind
  const std::size_t drawn = gap + text.size();  // the text is ASCII
  const std::size_t shown = std::max(drawn, std::min(shown_, space >= 2 ? space - 2 : 0));
  // Two blanks more in the erase: the terminal's echo of the interrupt key
  // lands right behind the text.
  const std::string blank = head + std::string(std::min(shown + 2, space), ' ') + "\r";
  const std::string wipe = blank + (below_ ? row_up + tail : prefix_.substr(row.start));
  if (text.empty() || wipe.size() > erase_max) {
    erase();
    return;
  }
  if (below_ && !on_row_) {
    row_move down{row_down, sizeof row_down - 1, &wipe};
    interrupt_shielded(move_rows, &down);
    on_row_ = true;
  } else {
    publish_erase(wipe);
  }
  erase_ = wipe;
  blank_size_ = blank.size();
  shown_ = shown;
  put(head + std::string(gap, ' ') + text + std::string(shown - drawn, ' '));
}

// The console: CR LF output in 512-byte blocks or unbuffered, token input.
#include "console/console.h"

#include <atomic>

#include "host/console_host.h"
#include "host/interrupt.h"
#include "host/io.h"
#include "host/terminal.h"
#include "records/scan.h"

namespace {

constexpr std::size_t block_size = 512;

// The text not yet written. The interruption handler writes it too, on the
// same thread, at any point of the program: each byte is stored before the
// count that takes it in, and the signal fences keep the compiler from
// moving the stores across each other, so the handler never writes a byte
// that is not there yet.
char pending[block_size];
std::atomic<std::size_t> pending_len{0};
static_assert(std::atomic<std::size_t>::is_always_lock_free, "the handler reads the count");
bool unbuffered = false;
bool muted = false;
bool line_open = false;  // the last byte said was not a line end

// Async-signal-safe: used by the interruption clean-up too.
void write_pending() {
  const std::size_t n = pending_len.load(std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_acquire);
  pending_len.store(0, std::memory_order_relaxed);
  (void)io_write_all(io_stdout, pending, n);  // a console that is gone drops the text
}

void put(char c) {
  std::size_t n = pending_len.load(std::memory_order_relaxed);
  if (n == block_size) {
    write_pending();
    n = 0;
  }
  pending[n] = c;
  std::atomic_signal_fence(std::memory_order_release);
  pending_len.store(n + 1, std::memory_order_relaxed);
}

}  // namespace

void console_open() {
  console_host_open();
  unbuffered = stdout_is_terminal();
  interrupt_set_flush(write_pending);
}

void console_mute() { muted = true; }

void say(const std::string& text) {
  if (muted) return;
  for (const char c : text) {
    if (c == '\n') put('\r');
    put(c);
  }
  if (!text.empty()) line_open = text.back() != '\n';
  if (unbuffered) write_pending();
}

void console_flush() { write_pending(); }

bool console_line_open() { return line_open; }
void console_line_closed() { line_open = false; }

text_reader& console_input() {
  static text_reader input;
  if (!input.is_open()) input.attach(io_stdin);
  return input;
}

bool read_token(text_reader& in, std::string& token, std::size_t longest) {
  int c = skip_space(in);
  if (c < 0) return false;
  token.clear();
  do {
    token += static_cast<char>(c);
    in.skip();
    c = in.peek();
  } while (c >= 0 && !is_space(c) && token.size() <= longest);
  return true;
}


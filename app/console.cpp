// The console: CR LF output in 512-byte blocks or unbuffered, token input.
#include "console.h"

#include <csignal>

#include "console_host.h"
#include "interrupt.h"
#include "io.h"
#include "scan.h"

namespace {

constexpr std::size_t block_size = 512;

char pending[block_size];
// Bytes of pending that are complete; the signal handler writes exactly these.
volatile std::sig_atomic_t pending_len = 0;
bool unbuffered = false;

// Async-signal-safe: used by the interruption clean-up too.
void write_pending() {
  const std::size_t n = static_cast<std::size_t>(pending_len);
  pending_len = 0;
  (void)io_write_all(io_stdout, pending, n);  // a console that is gone drops the text
}

void put(char c) {
  if (static_cast<std::size_t>(pending_len) == block_size) write_pending();
  pending[pending_len] = c;
  pending_len = pending_len + 1;
}

}  // namespace

void console_open() {
  unbuffered = console_host_open();
  interrupt_set_flush(write_pending);
}

void say(const std::string& text) {
  for (const char c : text) {
    if (c == '\n') put('\r');
    put(c);
  }
  if (unbuffered) write_pending();
}

void console_flush() { write_pending(); }

text_reader& console_input() {
  static text_reader input;
  if (!input.is_open()) input.attach(io_stdin);
  return input;
}

bool read_token(text_reader& in, std::string& token) {
  int c = skip_space(in);
  if (c < 0) return false;
  token.clear();
  do {
    token += static_cast<char>(c);
    in.skip();
    c = in.peek();
  } while (c >= 0 && !is_space(c));
  return true;
}


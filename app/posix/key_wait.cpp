#include "key_wait.h"

#include "interrupt_terminal.h"
#include "io.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How long the rest of one key's bytes may take to arrive after its first,
// and how many such pauses a held-down key may extend the wait by.
constexpr int kKeyTailMs = 50;
constexpr int kMaxTailReads = 16;

void read_one_key(int fd) {
  char c;
  (void)io_read(fd, &c, 1);
}

// Swallows the rest of an escape sequence, then anything else pending.
void drop_rest_of_key(int fd) {
  pollfd p{fd, POLLIN, 0};
  char buf[64];
  for (int i = 0; i < kMaxTailReads && poll(&p, 1, kKeyTailMs) > 0 && (p.revents & POLLIN); ++i) {
    if (read(fd, buf, sizeof buf) <= 0) break;
  }
  tcflush(fd, TCIFLUSH);
}

bool set_terminal(int fd, int when, const termios& t) {
  int r;
  while ((r = tcsetattr(fd, when, &t)) != 0 && errno == EINTR) {
  }
  return r == 0;
}

}  // namespace

void wait_key() {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;  // no controlling terminal
  termios saved;
  if (tcgetattr(fd, &saved) != 0) {
    close(fd);
    return;
  }
  interrupt_set_terminal(fd, saved);
  termios raw = saved;
  raw.c_lflag &= ~tcflag_t(ICANON | ECHO);  // ISIG stays: Ctrl-C still interrupts
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // TCSAFLUSH: output drains first and keys typed ahead are dropped.
  if (set_terminal(fd, TCSAFLUSH, raw)) {
    read_one_key(fd);
    drop_rest_of_key(fd);
  }
  set_terminal(fd, TCSANOW, saved);
  interrupt_set_terminal(-1, saved);
  close(fd);
}

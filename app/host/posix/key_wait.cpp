// The key wait on POSIX: one unechoed key from the controlling terminal, in the foreground only.
#include "host/key_wait.h"

#include "host/io.h"
#include "host/posix/interrupt_terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How long the rest of one key's bytes may take to arrive after its first,
// and how many such pauses a held-down key may extend the wait by.
constexpr int kKeyTailMs = 50;
constexpr int kMaxTailReads = 16;

void read_one_key(int fd) {
  char c;
  std::size_t got;
  (void)io_read(fd, &c, 1, got);
}

// Swallows the rest of an escape sequence, then anything else pending.
void drop_rest_of_key(int fd) {
  pollfd p{fd, POLLIN, 0};
  char buf[64];
  for (int i = 0; i < kMaxTailReads && poll(&p, 1, kKeyTailMs) > 0 && (p.revents & POLLIN); ++i) {
    std::size_t got = 0;
    if (io_read(fd, buf, sizeof buf, got) || got == 0) break;
  }
  tcflush(fd, TCIFLUSH);
}

bool set_terminal(int fd, int when, const termios& t) {
  int r;
  while ((r = tcsetattr(fd, when, &t)) != 0 && errno == EINTR) {
  }
  return r == 0;
}

// Ctrl-Z during the wait. While the process is stopped the shell gets the
// settings from before the wait; when it goes on, the key mode is back and
// keys typed meanwhile are dropped, as at the start of the wait.
int g_stop_fd = -1;  // set before the handler is installed, cleared after
termios g_stop_saved;
termios g_stop_raw;

void on_stop(int sig) {
  const int saved_errno = errno;
  tcsetattr(g_stop_fd, TCSANOW, &g_stop_saved);
  struct sigaction act {};
  act.sa_handler = SIG_DFL;
  sigemptyset(&act.sa_mask);
  struct sigaction mine;
  sigaction(sig, &act, &mine);
  raise(sig);  // held back while this handler runs
  sigset_t self;
  sigemptyset(&self);
  sigaddset(&self, sig);
  sigprocmask(SIG_UNBLOCK, &self, nullptr);  // stops here until SIGCONT
  sigprocmask(SIG_BLOCK, &self, nullptr);
  sigaction(sig, &mine, nullptr);
  tcsetattr(g_stop_fd, TCSAFLUSH, &g_stop_raw);
  errno = saved_errno;
}

// Waits in key mode; saved are the settings to come back to.
void wait_in_key_mode(int fd, const termios& saved) {
  termios raw = saved;
  raw.c_lflag &= ~tcflag_t(ICANON | ECHO);  // ISIG stays: Ctrl-C and Ctrl-Z still work
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;

  g_stop_fd = fd;
  g_stop_saved = saved;
  g_stop_raw = raw;
  struct sigaction stop {};
  stop.sa_handler = on_stop;
  sigemptyset(&stop.sa_mask);
  struct sigaction before;
  sigaction(SIGTSTP, nullptr, &before);
  const bool catch_stop = before.sa_handler != SIG_IGN;  // a stop ignored stays ignored
  if (catch_stop) sigaction(SIGTSTP, &stop, nullptr);

  // TCSAFLUSH: output drains first and keys typed ahead are dropped.
  if (set_terminal(fd, TCSAFLUSH, raw)) {
    read_one_key(fd);
    drop_rest_of_key(fd);
  }
  if (catch_stop) sigaction(SIGTSTP, &before, nullptr);
  g_stop_fd = -1;
}

}  // namespace

void wait_key() {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;  // no controlling terminal
  termios saved;
  // A process outside the terminal's foreground process group cannot read
  // a key from it (it would be stopped instead): it does not wait.
  if (tcgetpgrp(fd) != getpgrp() || tcgetattr(fd, &saved) != 0) {
    close(fd);
    return;
  }
  // One line says that the run waits, so that it does not look hung: on
  // standard error when that is the terminal, else on the terminal itself.
  static const char hint[] = "tilvaro: press a key to close\n";
  (void)io_write_all(tcgetpgrp(STDERR_FILENO) >= 0 ? STDERR_FILENO : fd, hint, sizeof hint - 1);
  interrupt_set_terminal(fd, saved);
  wait_in_key_mode(fd, saved);
  set_terminal(fd, TCSANOW, saved);
  interrupt_set_terminal(-1, saved);
  close(fd);
}

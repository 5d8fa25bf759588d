// Clean-up on interruption, POSIX: signal handlers that remove the temporary, restore the terminal and write pending console text.
#include "host/interrupt.h"
#include "host/posix/interrupt_terminal.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

const int kHandled[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Registrations read by the handler. They are only written with the handled
// signals blocked, so the handler always sees a finished update; the atomics
// keep the compiler from reordering or caching the accesses.
static_assert(std::atomic<const char*>::is_always_lock_free);
static_assert(std::atomic<void (*)()>::is_always_lock_free);

char g_temp_small[512];
char* g_temp_big = nullptr;  // grown on demand; never freed while published
std::size_t g_temp_big_size = 0;
std::atomic<const char*> g_temp{nullptr};

termios g_term_saved;
volatile sig_atomic_t g_term_fd = -1;

bool g_held = false;     // interrupt_hold_to_end is in force
sigset_t g_before_hold;  // the calling thread's mask before it

std::atomic<void (*)()> g_flush{nullptr};
std::atomic<void (*)()> g_erase{nullptr};

sigset_t handled_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kHandled) sigaddset(&set, sig);
  return set;
}

// Holds the handled signals back for the lifetime of the object.
class signals_blocked {
 public:
  signals_blocked() {
    sigset_t set = handled_set();
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~signals_blocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  signals_blocked(const signals_blocked&) = delete;
  signals_blocked& operator=(const signals_blocked&) = delete;

 private:
  sigset_t old_;
};

void on_signal(int sig) {
  if (const char* temp = g_temp.load()) unlink(temp);
  if (g_term_fd >= 0) tcsetattr(g_term_fd, TCSANOW, &g_term_saved);
  if (void (*erase)() = g_erase.load()) erase();
  if (void (*flush)() = g_flush.load()) flush();

  struct sigaction dfl;
  std::memset(&dfl, 0, sizeof dfl);
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  raise(sig);  // stays pending until unblocked below
  sigset_t self;
  sigemptyset(&self);
  sigaddset(&self, sig);
  sigprocmask(SIG_UNBLOCK, &self, nullptr);
  _exit(128 + sig);  // not reached: the default action ends the process
}

void install(int sig, void (*handler)(int)) {
  struct sigaction act;
  std::memset(&act, 0, sizeof act);
  act.sa_handler = handler;
  act.sa_mask = handled_set();
  sigaction(sig, &act, nullptr);
}

bool ignored_now(int sig) {
  struct sigaction old;
  return sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
}

}  // namespace

void install_interrupt_cleanup() {
  for (int sig : kHandled)
    if (!ignored_now(sig)) install(sig, on_signal);
  install(SIGPIPE, SIG_IGN);
  install(SIGXFSZ, SIG_IGN);
}

void interrupt_set_temp(const char* host_path) {
  signals_blocked hold;
  if (!host_path) {
    g_temp.store(nullptr);
    return;
  }
  const std::size_t need = std::strlen(host_path) + 1;
  char* buf = g_temp_small;
  if (need > sizeof g_temp_small) {
    if (need > g_temp_big_size) {
      char* fresh = new char[need];
      g_temp.store(nullptr);  // the old allocation may be the published one
      delete[] g_temp_big;
      g_temp_big = fresh;
      g_temp_big_size = need;
    }
    buf = g_temp_big;
  }
  std::memcpy(buf, host_path, need);
  g_temp.store(buf);
}

void interrupt_set_terminal(int fd, const termios& saved) {
  signals_blocked hold;
  g_term_fd = -1;
  if (fd < 0) return;
  g_term_saved = saved;
  g_term_fd = fd;
}

void interrupt_shielded(void (*start)(void*), void* context) {
  signals_blocked hold;
  start(context);
}

void interrupt_hold_to_end() {
  sigset_t set = handled_set(), before;
  sigprocmask(SIG_BLOCK, &set, &before);  // again when held: the mask may have been changed since
  if (g_held) return;
  g_before_hold = before;
  g_held = true;
}

void interrupt_hold_undo() {
  if (!g_held) return;
  g_held = false;
  sigprocmask(SIG_SETMASK, &g_before_hold, nullptr);
}

void interrupt_set_flush(void (*flush)()) {
  signals_blocked hold;
  g_flush.store(flush);
}

void interrupt_set_erase(void (*erase)()) {
  signals_blocked hold;
  g_erase.store(erase);
}

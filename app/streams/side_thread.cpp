// The count of side-thread starts, and the start a test makes fail.
#include "streams/side_thread.h"

#include <atomic>

#include "streams/side_thread_faults.h"

namespace {

std::atomic<unsigned long> g_starts{0};
std::atomic<unsigned long> g_fail_at{0};
std::atomic<bool> g_fail_after{false};

}  // namespace

bool side_thread_admitted() {
  const unsigned long n = ++g_starts;
  const unsigned long at = g_fail_at.load();
  return at == 0 || n < at || (n > at && !g_fail_after.load());
}

void side_thread_fail_at(unsigned long n, bool and_after) {
  g_fail_at = n;
  g_fail_after = and_after;
  g_starts = 0;
}

unsigned long side_thread_starts() { return g_starts.load(); }

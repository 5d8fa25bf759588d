// The threads that work beside the merge (reading ahead, writing and
// syncing behind): how they are started and ended.
#pragma once

#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "host/interrupt.h"

// Counts the start asked for and tells whether it may go ahead: always,
// unless a test has made it fail (side_thread_faults.h).
bool side_thread_admitted();

// Starts (object->*run)() on thread, with the handled signals held back,
// which the thread keeps: the interruption handlers then run only where the
// registrations are kept up to date. When no thread can be started (the
// system has none to give, or no memory for one), thread stays not joinable
// and the caller does the work itself.
// run is noexcept: an exception thrown out of a thread's function would end
// the process in std::terminate, past every clean-up. Each such function
// only locks, waits and hands over, reads or writes through io.h, or copies
// into buffers made before the thread starts: it allocates nothing, so it
// has nothing to throw (std::mutex::lock throws only for misuse, and
// std::condition_variable::wait never).
// Precondition: thread is not joinable.
template <class T>
void start_side_thread(std::thread& thread, T* object, void (T::*run)() noexcept) {
  if (!side_thread_admitted()) return;
  struct start {
    std::thread* thread;
    T* object;
    void (T::*run)() noexcept;
  } s{&thread, object, run};
  interrupt_shielded(
      [](void* p) {
        auto* s = static_cast<start*>(p);
        try {
          *s->thread = std::thread(s->run, s->object);
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {  // the thread's state, allocated by std::thread
        }
      },
      &s);
}

// Ends thread, if it runs: sets ending and wakes it (lock held), waits for
// it with the lock released, then clears ending. Precondition: lock holds
// the mutex that ending and wake go with.
inline void end_side_thread(std::thread& thread, std::unique_lock<std::mutex>& lock, bool& ending,
                            std::condition_variable& wake) {
  if (!thread.joinable()) return;
  ending = true;
  wake.notify_one();
  lock.unlock();
  thread.join();
  lock.lock();
  ending = false;
}

// Syncing the result to its disk while the merge goes on.
//
// Syncing a file costs time in proportion to the data not yet on the disk,
// and the sync at the end of a run waits for all of it. So, every
// background_sync::step bytes, the writer hands the stretch just written to
// a second thread, which syncs it while the merge goes on producing more;
// the final sync then has at most a step or two left. The thread is started
// at the first step only (a small result never starts one), the
// interruption handlers never run on it, and it is stopped before the file
// is closed.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class background_sync {
 public:
  static constexpr long long step = 8 << 20;

  background_sync() = default;
  ~background_sync() { stop(); }
  background_sync(const background_sync&) = delete;
  background_sync& operator=(const background_sync&) = delete;

  // Follows fd, which the caller keeps open until stop() has returned;
  // forgets any earlier file (after stopping its thread).
  void follow(int fd);

  // The bytes [0, offset) of the file are written. At each step, asks the
  // host to start writing them to the disk and the thread to sync them.
  // Returns the errno of the first background sync that failed, or 0: the
  // file's data is then not safely on the disk, whatever a later sync says
  // (a failed sync may report its error only once).
  int written(long long offset);

  // Waits for the syncs asked for so far and ends the thread; returns
  // the errno of the first failed background sync, or 0. The caller then
  // syncs the file itself, which is quick for the little that is left.
  int stop();

 private:
  void run();

  int fd_ = -1;
  long long requested_ = 0;  // offset up to which a sync was asked for

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool due_ = false;     // a sync was asked for and not yet begun
  bool ending_ = false;  // the thread is to end
  int error_ = 0;        // first errno of a background sync
};

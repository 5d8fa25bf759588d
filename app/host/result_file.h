// The result written safely: into a temporary file beside it, renamed onto
// its name only when everything has been written and synced. No temporary
// outlives its run for good: on Linux it has no name at all until it is
// complete, where the file system allows (O_TMPFILE), so a process killed
// outright leaves nothing; elsewhere its name says whose it is
// (temp_name.h), and a later run of the same result removes those whose
// process has ended.
#pragma once

#include <string>

#include "host/failure.h"

class result_file {
 public:
  result_file() = default;
  result_file(const result_file&) = delete;
  result_file& operator=(const result_file&) = delete;
  ~result_file();  // discards an uncommitted temporary

  // Creates a temporary file in the folder of host_path (the result's own
  // folder, so the rename stays on one file system): an unnamed one on
  // Linux where the file system has them and /proc/self/fd reaches it,
  // otherwise one named ".<result name>.<process id>.XXXXXX" so it is hidden
  // and recognisable (temp_name.h; a very long result name is shortened in
  // the temporary's name only). Before that, the temporaries of the same
  // result left by processes that no longer exist are removed from the
  // folder (nothing else: posix/stale_temps.h, windows/stale_temps.h).
  // The temporary's permissions become the mode bits of the file it will
  // replace, whose owner and group it also keeps where the system allows;
  // with no file to replace, those an ordinary new file gets under the
  // current umask (0666 & ~umask).
  // When host_path is a symbolic link to an existing file (also through a
  // chain of links), the file it points to is the one replaced and the link
  // stays; a link to nothing is replaced itself. A pending temporary of an
  // earlier create is discarded first.
  // A failure (step::creating) leaves nothing behind: a folder that is
  // missing, not writable, or not a folder; a result name that is an
  // existing folder (EISDIR). An existing result that is neither a file nor
  // a folder (a device, a pipe) is refused ("not a regular file"), since
  // renaming over it would destroy it.
  // A named temporary's path is registered for removal on interruption (only
  // one result is pending at a time); signals are held back between creating
  // the temporary and registering it, so an interruption cannot leave it
  // behind. An unnamed one goes with the process.
  failure create(const std::string& host_path);

  // The descriptor to write the result into; -1 when nothing is open.
  int fd() const { return fd_; }

  // The host path that commit renames the temporary onto (links resolved);
  // empty when nothing is pending.
  const std::string& target() const { return target_; }

  // Precondition: nothing writes into the temporary any more (the writing
  // behind the merge has stopped: result_stream.h).
  // fsync; for an unnamed temporary a link into the folder under a fresh
  // temporary name; close (its error counts); rename onto the result's name;
  // fsync the folder so the rename itself is durable. From just before the
  // link (the rename, for a named temporary) to the end of the process the
  // run is no longer interrupted (interrupt_hold_to_end): once the result is
  // in place the run has succeeded. A failure up to and including the
  // rename removes the temporary, leaves the old file (if any) untouched,
  // ends that hold and returns the failure (step::writing). A failing
  // folder sync does not fail the commit, since the new result is in place:
  // commit succeeds and warning() says why; a file system that cannot sync
  // folders at all (EINVAL, ENOTSUP) is no warning. EBADF when nothing is
  // pending.
  failure commit();

  // What the last commit could not do after the result was in place (the
  // folder sync); nothing when there was nothing.
  const failure& warning() const { return warning_; }

  // Closes and removes the temporary and forgets its registration; a no-op
  // when nothing is pending. Precondition: as for commit.
  void discard();

 private:
  int fd_ = -1;
  std::string temp_;    // host path of the temporary
  std::string target_;  // host path the temporary is renamed onto
  failure warning_;      // set by commit: see warning()

  bool make(const std::string& host_path, failure& why);
  bool put_in_place(failure& why);
};

// The temporaries that runs ended by SIGKILL or a power loss left behind
// (temp_name.h), found and removed by a later run of the same result; and
// the lock by which a run's own temporary says that it is in use.
#pragma once

#include <string>

// Marks the temporary open on fd as in use for as long as fd stays open (a
// write lock on it, where the file system has locks). A process that dies
// loses it with its descriptors.
void mark_temp_in_use(int fd);

// Removes from folder ("" is the current folder) the temporaries of
// result_name whose process has ended: only regular files (no links), named
// exactly as temp_name.h makes them, whose process id is not this process's
// and names no process (kill(pid, 0) fails with ESRCH), and which no process
// marks as in use (a run of another pid namespace or another machine that
// shares the folder). A live process, even one that merely reuses the id,
// keeps its files. Anything that cannot be checked is left; errors are not
// reported, since a run goes on without this.
void remove_stale_temps(const std::string& folder, const std::string& result_name);

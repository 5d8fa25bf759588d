// Stale temporaries on POSIX: readdir for the names, kill(pid, 0) for the
// process, an open file description lock for the use.
#include "host/posix/stale_temps.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "host/temp_name.h"

namespace {

// Locks of the open file description where the system has them (Linux):
// they conflict also with another description in the same process.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kGetLock = F_OFD_GETLK;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kGetLock = F_GETLK;
#endif

struct flock whole_file(short type) {
  struct flock l = {};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_start = 0;
  l.l_len = 0;  // to the end, however far it grows
  return l;
}

bool process_gone(unsigned long long pid) {
  // Only a single process's id: 0 and negative values name process groups.
  if (pid < 1 || pid > static_cast<unsigned long long>(INT_MAX)) return false;
  if (static_cast<pid_t>(pid) == getpid()) return false;
  return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Whether fd's file is marked in use by someone; a file system without
// locks tells nothing, and the process id decides alone.
bool marked_in_use(int fd) {
  struct flock l = whole_file(F_RDLCK);
  if (fcntl(fd, kGetLock, &l) != 0) return false;
  return l.l_type != F_UNLCK;
}

// Removes the entry name of the folder at if it is a regular file that
// nobody marks in use, and still the file that was checked.
void remove_if_unused(int at, const std::string& name) {
  const int fd = openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened, named;
  if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && !marked_in_use(fd) &&
      fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev &&
      named.st_ino == opened.st_ino)
    unlinkat(at, name.c_str(), 0);
  close(fd);
}

}  // namespace

void mark_temp_in_use(int fd) {
  struct flock l = whole_file(F_WRLCK);
  (void)fcntl(fd, kSetLock, &l);
}

void remove_stale_temps(const std::string& folder, const std::string& result_name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (const dirent* e = readdir(dir)) {
    unsigned long long pid = 0;
    if (temp_name_owner(e->d_name, result_name, pid) && process_gone(pid)) stale.push_back(e->d_name);
  }
  for (const std::string& name : stale) remove_if_unused(dirfd(dir), name);
  closedir(dir);
}

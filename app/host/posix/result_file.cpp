// The result on POSIX: a temporary beside it (unnamed where Linux allows),
// fsynced, closed, renamed onto it, the folder synced.
#include "host/result_file.h"

#include "host/interrupt.h"
#include "host/posix/result_file_unnamed.h"
#include "host/posix/stale_temps.h"
#include "host/temp_name.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMaxLinks = 40;   // as the kernel's own limit
constexpr int kTempTries = 100;  // names tried for the unnamed temporary's link

std::atomic<bool> g_try_unnamed{true};

bool fail(int err, failure& why) {
  why = failure::of_errno(err, step::none);
  return false;
}

// The folder part of p ("" for a bare name) and the name after the last '/'.
std::string folder_of(const std::string& p) {
  const std::size_t slash = p.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : p.substr(0, slash);
}

std::string name_of(const std::string& p) { return p.substr(p.rfind('/') + 1); }

// The folder as a path to open: "." for a bare name.
std::string openable(const std::string& folder) { return folder.empty() ? "." : folder; }

bool read_link(const std::string& p, std::string& out) {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = readlink(p.c_str(), buf.data(), buf.size());
    if (n < 0) return false;
    if (std::size_t(n) < buf.size()) {
      out.assign(buf.data(), std::size_t(n));
      return true;
    }
    buf.resize(buf.size() * 2);
  }
}

// Follows symbolic links from p to the file that is to be replaced. Sets
// exists (and st) when there is one; a link to nothing resolves to the link.
bool resolve_target(const std::string& p, std::string& target, bool& exists, struct stat& st,
                    failure& why) {
  std::string cur = p;
  for (int i = 0; i < kMaxLinks; ++i) {
    if (lstat(cur.c_str(), &st) != 0) {
      if (errno != ENOENT) return fail(errno, why);
      target = p;  // a new file, or a dangling link replaced itself
      exists = false;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      target = cur;
      exists = true;
      return true;
    }
    std::string next;
    if (!read_link(cur, next)) return fail(errno, why);
    cur = (next.empty() || next[0] == '/' || folder_of(cur).empty())
              ? next
              : folder_of(cur) + "/" + next;
  }
  return fail(ELOOP, why);
}

// name in folder ("" is the current folder).
std::string in_folder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder == "/" ? "/" + name : folder + "/" + name;
}

unsigned long getpid_ul() { return static_cast<unsigned long>(getpid()); }

// The path by which linkat reaches the file open on fd.
std::string proc_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// An unnamed temporary in folder, or -1 where the file system has none or
// /proc cannot reach it for the link (then the named kind is used).
int open_unnamed(const std::string& folder) {
#ifdef O_TMPFILE
  const int fd = open(openable(folder).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat direct, via_proc;
  if (fstat(fd, &direct) == 0 && stat(proc_path(fd).c_str(), &via_proc) == 0 && direct.st_dev == via_proc.st_dev &&
      direct.st_ino == via_proc.st_ino)
    return fd;
  close(fd);
#else
  (void)folder;
#endif
  return -1;
}

// Links the complete unnamed temporary open on fd into the folder of target
// under a fresh temporary name, which it sets in temp. linkat cannot
// replace a file, so the result's own name is reached by a rename after it.
bool link_unnamed(int fd, const std::string& target, std::string& temp) {
  const std::string prefix = in_folder(folder_of(target), temp_name_prefix(name_of(target), getpid_ul()));
  for (int attempt = 0; attempt < kTempTries; ++attempt) {
    const std::string path = prefix + temp_name_suffix(getpid_ul());
    if (linkat(AT_FDCWD, proc_path(fd).c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp = path;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

mode_t current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Creates the temporary from tmpl (ending in XXXXXX) and registers it for
// removal, with every signal held back in between.
int make_registered_temp(std::vector<char>& tmpl) {
  sigset_t all, old;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &old);
  const int fd = mkostemp(tmpl.data(), O_CLOEXEC);
  const int err = errno;
  if (fd >= 0) interrupt_set_temp(tmpl.data());
  sigprocmask(SIG_SETMASK, &old, nullptr);
  errno = err;
  return fd;
}

// Gives the temporary the owner, group and mode of the file it replaces;
// the ownership only where the system allows it.
bool copy_owner_and_mode(int fd, const struct stat& from) {
  struct stat now;
  if (fstat(fd, &now) == 0 && (now.st_uid != from.st_uid || now.st_gid != from.st_gid)) {
    if (fchown(fd, from.st_uid, from.st_gid) != 0) (void)!fchown(fd, uid_t(-1), from.st_gid);
  }
  return fchmod(fd, from.st_mode & 07777) == 0;
}

// Syncs the folder so that the rename in it survives a crash.
bool sync_folder(const std::string& folder, failure& why) {
  const int dfd = open(openable(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return fail(errno, why);
  const int r = fsync(dfd);
  const int err = errno;
  close(dfd);
  if (r != 0 && err != EINVAL && err != ENOTSUP && err != EOPNOTSUPP) return fail(err, why);
  return true;
}

}  // namespace

void result_file_try_unnamed(bool allowed) { g_try_unnamed.store(allowed); }

result_file::~result_file() { discard(); }

bool result_file::make(const std::string& host_path, failure& why) {
  discard();
  warning_ = failure{};
  if (host_path.empty()) return fail(ENOENT, why);
  std::string target;
  bool exists = false;
  struct stat st;
  if (!resolve_target(host_path, target, exists, st, why)) return false;
  if ((exists && S_ISDIR(st.st_mode)) || name_of(target).empty()) return fail(EISDIR, why);
  if (exists && !S_ISREG(st.st_mode)) {
    why = failure::refused("not a regular file", step::none);
    return false;
  }

  const std::string folder = folder_of(target);
  remove_stale_temps(folder, name_of(target));
  int fd = g_try_unnamed.load() ? open_unnamed(folder) : -1;
  if (fd < 0) {
    std::string path = in_folder(folder, temp_name_prefix(name_of(target), getpid_ul()) + "XXXXXX");
    std::vector<char> tmpl(path.begin(), path.end());
    tmpl.push_back('\0');
    fd = make_registered_temp(tmpl);
    if (fd < 0) return fail(errno, why);
    temp_ = tmpl.data();
  }
  fd_ = fd;
  target_ = target;
  mark_temp_in_use(fd_);

  const bool ok = exists ? copy_owner_and_mode(fd_, st) : fchmod(fd_, 0666 & ~current_umask()) == 0;
  if (!ok) {
    const int err = errno;
    discard();
    return fail(err, why);
  }
  return true;
}

// Up to the rename a failure undoes everything: the temporary is removed,
// the hold on the signals ended (a signal held meanwhile then ends the run).
bool result_file::put_in_place(failure& why) {
  warning_ = failure{};
  if (fd_ < 0) return fail(EBADF, why);
  int err = fsync(fd_) == 0 ? 0 : errno;
  // From the link (the unnamed temporary's first name) or the rename on,
  // the run ends as a success once the result is in place.
  if (err == 0) interrupt_hold_to_end();
  if (err == 0 && temp_.empty() && !link_unnamed(fd_, target_, temp_)) err = errno;
  if (err == 0) {
    const int closed = close(fd_);
    fd_ = -1;
    if (closed != 0) err = errno;
  }
  if (err == 0 && rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
  if (err != 0) {
    discard();
    interrupt_hold_undo();
    return fail(err, why);
  }
  interrupt_set_temp(nullptr);
  temp_.clear();
  const std::string folder = folder_of(target_);
  target_.clear();
  (void)sync_folder(folder, warning_);  // the result is in place: a failure here is a warning
  return true;
}

void result_file::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    interrupt_set_temp(nullptr);
  }
  temp_.clear();
  target_.clear();
}

// The result on POSIX: a temporary beside it, fsynced, renamed onto it, the folder synced.
#include "result_file.h"

#include "interrupt.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMaxLinks = 40;               // as the kernel's own limit
constexpr std::size_t kMaxTempStem = 200;   // keeps ".name.XXXXXX" under NAME_MAX

bool fail(int err, std::string& reason) {
  reason = std::strerror(err);
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
                    std::string& reason) {
  std::string cur = p;
  for (int i = 0; i < kMaxLinks; ++i) {
    if (lstat(cur.c_str(), &st) != 0) {
      if (errno != ENOENT) return fail(errno, reason);
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
    if (!read_link(cur, next)) return fail(errno, reason);
    cur = (next.empty() || next[0] == '/' || folder_of(cur).empty())
              ? next
              : folder_of(cur) + "/" + next;
  }
  return fail(ELOOP, reason);
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
bool sync_folder(const std::string& folder, std::string& reason) {
  const int dfd = open(openable(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return fail(errno, reason);
  const int r = fsync(dfd);
  const int err = errno;
  close(dfd);
  if (r != 0 && err != EINVAL && err != ENOTSUP && err != EOPNOTSUPP) return fail(err, reason);
  return true;
}

}  // namespace

result_file::~result_file() { discard(); }

bool result_file::create(const std::string& host_path, std::string& reason) {
  discard();
  if (host_path.empty()) return fail(ENOENT, reason);
  std::string target;
  bool exists = false;
  struct stat st;
  if (!resolve_target(host_path, target, exists, st, reason)) return false;
  if ((exists && S_ISDIR(st.st_mode)) || name_of(target).empty()) return fail(EISDIR, reason);
  if (exists && !S_ISREG(st.st_mode)) {
    reason = "not a regular file";
    return false;
  }

  const std::string folder = folder_of(target);
  std::string path = folder.empty() ? "" : (folder == "/" ? "/" : folder + "/");
  path += "." + name_of(target).substr(0, kMaxTempStem) + ".XXXXXX";
  std::vector<char> tmpl(path.begin(), path.end());
  tmpl.push_back('\0');
  const int fd = make_registered_temp(tmpl);
  if (fd < 0) return fail(errno, reason);
  fd_ = fd;
  temp_ = tmpl.data();
  target_ = target;

  const bool ok = exists ? copy_owner_and_mode(fd_, st) : fchmod(fd_, 0666 & ~current_umask()) == 0;
  if (!ok) {
    const int err = errno;
    discard();
    return fail(err, reason);
  }
  return true;
}

bool result_file::commit(std::string& reason) {
  if (fd_ < 0) return fail(EBADF, reason);
  if (fsync(fd_) != 0) {
    const int err = errno;
    discard();
    return fail(err, reason);
  }
  const int closed = close(fd_);
  fd_ = -1;
  if (closed != 0 || rename(temp_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    discard();
    return fail(err, reason);
  }
  interrupt_set_temp(nullptr);
  temp_.clear();
  const std::string folder = folder_of(target_);
  target_.clear();
  return sync_folder(folder, reason);
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

// Plain file input and output on POSIX descriptors.
#include "host/io.h"
#include "host/io_calls.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool io_fill_standard_streams() {
  bool all = true;
  for (int fd = io_stdin; fd <= io_stderr; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open takes the lowest free number: fd itself, since the standard
    // descriptors below it are open by now (dup2 covers any other case).
    const int none = ::open("/dev/null", O_RDWR);
    if (none < 0) {
      all = false;
      continue;
    }
    if (none != fd) {
      if (::dup2(none, fd) != fd) all = false;
      ::close(none);
    }
  }
  return all;
}

int open_read_errno(const std::string& host_path, int& fd) {
  fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd < 0 ? errno : 0;
}

namespace {

io_file_id identity_from(int result, const struct stat& st) {
  io_file_id id;
  if (result != 0) return id;
  id.known = true;
  id.device = static_cast<unsigned long long>(st.st_dev);
  id.index = static_cast<unsigned long long>(st.st_ino);
  id.size = S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : -1;  // a pipe has no size
  return id;
}

}  // namespace

io_file_id io_identity(int fd) {
  struct stat st;
  return identity_from(::fstat(fd, &st), st);
}

io_file_id io_identity_of(const std::string& host_path) {
  struct stat st;
  return identity_from(::stat(host_path.c_str(), &st), st);
}

long long io_open_limit(long long want) {
  rlimit lim;
  if (::getrlimit(RLIMIT_NOFILE, &lim) != 0) return 0;
  const auto fits = [](rlim_t v, long long n) { return v == RLIM_INFINITY || v >= static_cast<rlim_t>(n); };
  if (!fits(lim.rlim_cur, want)) {
    rlimit raised = lim;
    raised.rlim_cur = fits(lim.rlim_max, want) ? static_cast<rlim_t>(want) : lim.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) lim = raised;
  }
  if (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > static_cast<rlim_t>(1LL << 40)) return 1LL << 40;
  return static_cast<long long>(lim.rlim_cur);
}

void io_close(int fd) { ::close(fd); }

int read_errno(int fd, char* buf, std::size_t n, std::size_t& got) {
  ssize_t r;
  do {
    r = ::read(fd, buf, n);
  } while (r < 0 && errno == EINTR);
  got = r < 0 ? 0 : static_cast<std::size_t>(r);
  return r < 0 ? errno : 0;
}

int write_all_errno(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return errno;
    if (w == 0) return EIO;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return 0;
}

int offset_errno(int fd, long long& offset) {
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  offset = at;
  return at < 0 ? errno : 0;
}

int seek_errno(int fd, long long offset) {
  const off_t at = ::lseek(fd, static_cast<off_t>(offset), SEEK_SET);
  if (at < 0) return errno;
  return at == offset ? 0 : EOVERFLOW;
}

void io_start_writeback(int fd, long long from, long long length) {
#if defined(__linux__)
  ::sync_file_range(fd, from, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)fd;
  (void)from;
  (void)length;
#endif
}

int sync_data_errno(int fd) {
#if defined(__linux__)
  const int r = ::fdatasync(fd);
#else
  const int r = ::fsync(fd);
#endif
  return r == 0 ? 0 : errno;
}

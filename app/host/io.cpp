// The file calls as the rest of the tool sees them: a failure says what
// was being done.
#include "host/io.h"
#include "host/io_calls.h"

failure io_open_read(const std::string& host_path, int& fd) {
  return failure::of_errno(open_read_errno(host_path, fd), step::opening);
}

failure io_read(int fd, char* buf, std::size_t n, std::size_t& got) {
  return failure::of_errno(read_errno(fd, buf, n, got), step::reading);
}

failure io_write_all(int fd, const char* p, std::size_t n) {
  return failure::of_errno(write_all_errno(fd, p, n), step::writing);
}

failure io_offset(int fd, long long& offset) {
  return failure::of_errno(offset_errno(fd, offset), step::reading);
}

failure io_seek(int fd, long long offset) {
  return failure::of_errno(seek_errno(fd, offset), step::reading);
}

failure io_sync_data(int fd) {
  return failure::of_errno(sync_data_errno(fd), step::writing);
}

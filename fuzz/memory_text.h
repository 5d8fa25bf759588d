// Fuzzing helper: bytes handed to a text_reader through a memory file, so
// the reader runs exactly as on a real file.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

class memory_text {
 public:
  memory_text() : fd_(::memfd_create("fuzz-text", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
  }
  ~memory_text() { ::close(fd_); }
  memory_text(const memory_text&) = delete;
  memory_text& operator=(const memory_text&) = delete;

  // Replaces the content and rewinds; returns the descriptor to read.
  int load(const std::uint8_t* data, std::size_t size) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    if (::lseek(fd_, 0, SEEK_SET) != 0) std::abort();
    return fd_;
  }

 private:
  int fd_;
};

// Test helper: a text_reader over bytes held in memory (through an unnamed
// temporary file, so the reader sees a real descriptor).
#pragma once

#include <cstdio>
#include <string>

#include "streams/text_reader.h"

#ifdef _WIN32
#include <io.h>

#include "host/windows/handles.h"

// The tool's own descriptor (io.h) for the file of a C stream; given back
// with release_io_fd, while the stream keeps the file.
inline int io_fd_of(std::FILE* f) { return fd_for_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)))); }
inline void release_io_fd(int fd) { forget_fd(fd); }
#else
inline int io_fd_of(std::FILE* f) { return fileno(f); }
inline void release_io_fd(int) {}
#endif

class text_source {
 public:
  explicit text_source(const std::string& bytes, std::size_t buffer_size = text_reader::default_buffer_size)
      : reader(buffer_size), file_(std::tmpfile()) {
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    std::fflush(file_);
    std::rewind(file_);
    fd_ = io_fd_of(file_);
    reader.attach(fd_);
  }
  ~text_source() {
    reader.close();
    release_io_fd(fd_);
    std::fclose(file_);
  }
  text_source(const text_source&) = delete;
  text_source& operator=(const text_source&) = delete;

  text_reader reader;

 private:
  std::FILE* file_;
  int fd_;
};

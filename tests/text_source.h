// Test helper: a text_reader over bytes held in memory (through an unnamed
// temporary file, so the reader sees a real descriptor).
#pragma once

#include <cstdio>
#include <string>

#include "text_reader.h"

class text_source {
 public:
  explicit text_source(const std::string& bytes, std::size_t buffer_size = text_reader::default_buffer_size)
      : reader(buffer_size), file_(std::tmpfile()) {
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    std::fflush(file_);
    std::rewind(file_);
    reader.attach(fileno(file_));
  }
  ~text_source() {
    reader.close();
    std::fclose(file_);
  }
  text_source(const text_source&) = delete;
  text_source& operator=(const text_source&) = delete;

  text_reader reader;

 private:
  std::FILE* file_;
};

// The system's calls behind io.h, one set per host (posix/io.cpp,
// windows/io.cpp): each returns 0 or the errno value of its failure, and
// does what the io.h function of the same name says. host/io.cpp gives
// them to the rest of the tool as failures. Async-signal-safe where the
// host's read and write are.
#pragma once

#include <cstddef>
#include <string>

int open_read_errno(const std::string& host_path, int& fd);
int read_errno(int fd, char* buf, std::size_t n, std::size_t& got);
int write_all_errno(int fd, const char* p, std::size_t n);
int offset_errno(int fd, long long& offset);
int seek_errno(int fd, long long offset);
int sync_data_errno(int fd);

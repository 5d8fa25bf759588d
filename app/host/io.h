// Plain file input and output on descriptors: the one place where reads and
// writes are retried after interruptions and partial writes.
//
// Descriptors are ints (the C runtime's on Windows). A function that can
// fail returns what went wrong (host/failure.h: the errno value and what
// was being done), nothing when it did not, and gives its result through
// an out-parameter. Every function here is async-signal-safe where
// the host's read and write are, so the interruption handler may write with
// io_write_all.
#pragma once

#include <cstddef>
#include <string>

#include "host/failure.h"

// The standard descriptors.
constexpr int io_stdin = 0;
constexpr int io_stdout = 1;
constexpr int io_stderr = 2;

// Gives every standard descriptor (0, 1, 2) that is closed when the run
// starts the null device, read and write, under its own number, so that no
// file the run opens later takes that number and gets, say, a diagnostic
// meant for standard error. False when one stays closed (the null device
// cannot be opened): the run must then open no file. Call it first thing in
// main, before anything opens a file or writes to a standard stream.
bool io_fill_standard_streams();

// Opens a file for reading into fd.
failure io_open_read(const std::string& host_path, int& fd);

// What tells one file from another, whatever name or link reaches it: the
// device (volume) and the file's number on it.
struct io_file_id {
  bool known = false;  // false: no such file, or the host cannot tell
  unsigned long long device = 0;
  unsigned long long index = 0;
  long long size = -1;  // beside the identity: a regular file's size in bytes
  bool same_as(const io_file_id& o) const { return known && o.known && device == o.device && index == o.index; }
};
// The identity of the file open as fd.
io_file_id io_identity(int fd);
// The identity of the file at host_path, symbolic links followed; not known
// when nothing is there.
io_file_id io_identity_of(const std::string& host_path);

// How many files the process may hold open at once, after raising that
// limit to at least want where the system allows (never above its ceiling,
// never lowering it).
long long io_open_limit(long long want);

// Closes fd; its error is ignored (nothing written through fd is at stake).
void io_close(int fd);

// Reads up to n bytes (n > 0) into buf, again after an interruption; got
// gets the count read, 0 at the end of the file (and 0 on a failure).
failure io_read(int fd, char* buf, std::size_t n, std::size_t& got);

// Writes all n bytes, resuming after partial writes and interruptions; EIO
// for a write that took nothing. The bytes after a failure are not written.
failure io_write_all(int fd, const char* p, std::size_t n);

// The file offset of fd; ESPIPE when it has none (a pipe, a terminal).
failure io_offset(int fd, long long& offset);

// Moves the file offset of fd to offset; ESPIPE when fd cannot seek.
failure io_seek(int fd, long long offset);

// Asks the host to start writing the stretch [from, from + length) of fd to
// its disk, without waiting. Only a hint: it may do nothing, and its errors
// are ignored (they surface at the final sync).
void io_start_writeback(int fd, long long from, long long length);

// Writes the data of fd (and what is needed to read it back, such as its
// size) to its disk and waits for that.
failure io_sync_data(int fd);

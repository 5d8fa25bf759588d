// The result as the merge writes it: the buffered writer, the writing and
// syncing behind the merge that its buffers go to, and the temporary file
// they end in, which is put in place at the end (result_file.h).
//
// The stream owns the writing behind: it points it at the temporary, the
// writer hands it the filled buffers (starting its threads with the first
// full one), and the stream stops it before the temporary is closed,
// renamed or removed. A result on standard output is written directly.
#pragma once

#include <string>

#include "host/result_file.h"
#include "streams/point_writer.h"
#include "streams/write_behind.h"

class result_stream {
 public:
  result_stream() = default;
  ~result_stream() { discard(); }
  result_stream(const result_stream&) = delete;
  result_stream& operator=(const result_stream&) = delete;

  // The result's name as the run names it (for the messages).
  std::string name;
  // What the merge writes the result with.
  point_writer out;

  // Creates the temporary of the result at host_path (result_file::create,
  // whose failure it returns) and makes out write into it.
  failure create(const std::string& host_path);
  // Makes out write to standard output instead, directly.
  void to_stdout();

  // Writes out what is buffered and waits for the writing behind to end;
  // then the temporary, if any, is synced and put in place. A failure
  // (step::writing) leaves the temporary gone and a file it was to replace
  // untouched.
  failure finish();
  // What the last finish could not do once the result was in place (the
  // folder's sync: result_file::warning); nothing when there was nothing.
  const failure& warning() const { return file_.warning(); }
  // Stops the writing and removes the temporary, if any.
  void discard();

  // Whether out writes somewhere.
  bool is_open() const { return open_; }
  // The file the result replaces (links resolved); empty for standard
  // output and when nothing is pending.
  const std::string& target() const { return file_.target(); }

 private:
  result_file file_;
  write_behind behind_;  // declared after file_: stops before file_ closes
  bool open_ = false;
};

// The result as the merge writes it: writer, writing behind, temporary.
#include "merge/result_stream.h"

#include <cstring>

#include "host/io.h"

bool result_stream::create(const std::string& host_path, std::string& reason) {
  discard();
  if (!file_.create(host_path, reason)) return false;
  behind_.follow(file_.fd());
  out.attach(file_.fd(), &behind_);
  open_ = true;
  return true;
}

void result_stream::to_stdout() {
  discard();
  out.attach(io_stdout);
  open_ = true;
}

bool result_stream::finish(std::string& reason) {
  int err = out.flush() ? 0 : out.error();
  const int behind = behind_.stop();
  if (err == 0) err = behind;
  open_ = false;
  if (err != 0) {
    file_.discard();
    reason = std::strerror(err);
    return false;
  }
  return file_.fd() < 0 || file_.commit(reason);
}

void result_stream::discard() {
  behind_.stop();
  file_.discard();
  open_ = false;
}

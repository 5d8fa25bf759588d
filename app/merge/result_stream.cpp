// The result as the merge writes it: writer, writing behind, temporary.
#include "merge/result_stream.h"

#include "host/io.h"

failure result_stream::create(const std::string& host_path) {
  discard();
  if (const failure f = file_.create(host_path)) return f;
  behind_.follow(file_.fd());
  out.attach(file_.fd(), &behind_);
  open_ = true;
  return {};
}

void result_stream::to_stdout() {
  discard();
  out.attach(io_stdout);
  open_ = true;
}

failure result_stream::finish() {
  int err = out.flush() ? 0 : out.failed().error;
  const int behind = behind_.stop();
  if (err == 0) err = behind;
  open_ = false;
  if (err != 0) {
    file_.discard();
    return failure::of_errno(err, step::writing);
  }
  return file_.fd() < 0 ? failure{} : file_.commit();
}

void result_stream::discard() {
  behind_.stop();
  file_.discard();
  open_ = false;
}

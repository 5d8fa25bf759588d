// The result file's calls as the rest of the tool sees them: a failure
// says what was being done. The work is the host's (posix/result_file.cpp,
// windows/result_file.cpp).
#include "host/result_file.h"

failure result_file::create(const std::string& host_path) {
  failure why;
  return make(host_path, why) ? failure{} : why.while_doing(step::creating);
}

failure result_file::commit() {
  failure why;
  return put_in_place(why) ? failure{} : why.while_doing(step::writing);
}

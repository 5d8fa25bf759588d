// The state the dialogue hands to the merge, and the one way a failed run ends.
#include "state.h"

#include "console.h"
#include "diagnostic.h"
#include "host_path.h"
#include "key_wait.h"

std::int32_t num_arch = 0;
std::vector<image> im_number;
result_stream f2;

std::string file_failure(const std::string& path, const char* what, const std::string& reason) {
  return "\n\tFile " + path + " " + what + " (" + reason + ")\n";
}

int abandon(const std::string& message) {
  say(message);
  f2.file.discard();
  // Nothing is pending while the run waits: a run killed or stopped during
  // the wait leaves nothing behind and has said everything.
  console_flush();
  wait_key();
  return 1;
}

int file_failed(const std::string& path, const char* what, const std::string& reason) {
  complain(host_path(path), reason);
  return abandon(file_failure(path, what, reason));
}

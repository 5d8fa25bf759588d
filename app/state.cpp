// Program-wide state and the one way a failed run ends.
#include "state.h"

#include "console.h"
#include "key_wait.h"

std::string nomgen;
std::int32_t num_arch = 0;
std::vector<image> im_number;
text_reader f1;
result_stream f2;

double min_x = 0.0, min_y = 0.0, min_alt = 0.0, max_x = 0.0, max_y = 0.0, max_alt = 0.0;

std::string file_failure(const std::string& path, const char* what, const std::string& reason) {
  return "\n\tFile " + path + " " + what + " (" + reason + ")\n";
}

int abandon(const std::string& message) {
  say(message);
  f1.close();
  f2.file.discard();
  // Nothing is pending while the run waits: a run killed or stopped during
  // the wait leaves nothing behind and has said everything.
  console_flush();
  wait_key();
  return 1;
}

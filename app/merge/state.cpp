// The state the dialogue hands to the merge, and the one way a failed run ends.
#include "merge/state.h"

#include <cerrno>
#include <cstring>

#include "console/console.h"
#include "console/diagnostic.h"
#include "host/folder_list.h"
#include "host/host_names.h"
#include "host/host_path.h"
#include "host/io.h"
#include "host/key_wait.h"
#include "merge/input_memo.h"

run_choices choices;
std::int32_t num_arch = 0;
std::vector<image> im_number;
result_stream f2;

std::string opened_path(const std::string& path) { return choices.drive_paths ? host_path(path) : path; }

namespace {

// Inputs held open between the passes must all fit under the limit of open
// files; said before anything is made.
bool held_inputs_fit() {
  long long held = 0, limit = 0;
  if (room_for_held_inputs(held, limit)) return true;
  complain_lines("tilvaro: " + std::to_string(held) + " inputs that can be read only once must be held open "
                 "together, and the system lets a process hold only " + std::to_string(limit) + " files open\n");
  abandon("\n\tToo many inputs that can be read only once\n");
  return false;
}

// A result that cannot be created because its folder is not there: the
// folder is named, not the file. Drive form splits at backslashes too.
bool folder_missing(const std::string& name) {
  const bool backslash = choices.drive_paths || host_name_rules().backslash_separates;
  const std::string folder = name.substr(0, folder_part_length(name, backslash));
  if (folder.empty() || io_identity_of(opened_path(folder)).known) return false;
  complain(opened_path(folder), "no such folder");
  abandon("\n\tFolder " + folder + " does not exist\n");
  return true;
}

}  // namespace

bool create_result(const std::string& name, bool no_inputs) {
  if (!held_inputs_fit()) return false;
  f2.name = name;
  const std::string path = opened_path(name);
  std::string reason = path.find('\0') != std::string::npos ? std::strerror(EINVAL) : name_refusal(path);
  if (reason.empty() && no_inputs && io_identity_of(path).known) {
    complain(path, "not replaced: there are no files to paste");
    abandon("\n\tFile " + name + " not replaced: there are no files to paste\n");
    return false;
  }
  if (reason.empty() && f2.create(path, reason)) return true;
  if (reason == std::strerror(ENOENT) && folder_missing(name)) return false;
  file_failed(name, "cannot be created", reason);
  return false;
}

int abandon(const std::string& message) {
  say(message);
  f2.discard();
  // Nothing is pending while the run waits: a run killed or stopped during
  // the wait leaves nothing behind and has said everything.
  console_flush();
  if (choices.key_wait) wait_key();
  return 1;
}

int file_failed(const std::string& path, const char* what, const std::string& reason) {
  complain(opened_path(path), reason);
  return abandon("\n\tFile " + path + " " + what + " (" + reason + ")\n");
}

// The state the dialogue hands to the merge, and the result made.
#include "merge/state.h"

#include <cerrno>

#include "host/folder_list.h"
#include "host/host_names.h"
#include "host/host_path.h"
#include "host/io.h"
#include "merge/input_memo.h"

run_choices choices;
std::int32_t num_arch = 0;
std::vector<image> im_number;
result_stream f2;

std::string opened_path(const std::string& path) { return choices.drive_paths ? host_path(path) : path; }

namespace {

// Inputs held open between the passes must all fit under the limit of open
// files; said before anything is made.
run_end held_inputs_fit() {
  run_end end;
  if (room_for_held_inputs(end.held, end.limit)) return {};
  end.what = run_end::kind::too_many_held;
  return end;
}

// A result that cannot be created because its folder is not there: the
// folder is named, not the file. Drive form splits at backslashes too.
bool folder_missing(const std::string& name, std::string& folder) {
  const bool backslash = choices.drive_paths || host_name_rules().backslash_separates;
  folder = name.substr(0, folder_part_length(name, backslash));
  return !folder.empty() && !io_identity_of(opened_path(folder)).known;
}

}  // namespace

run_end create_result(const std::string& name, bool no_inputs) {
  if (run_end end = held_inputs_fit()) return end;
  f2.name = name;
  const std::string path = opened_path(name);
  failure f = path.find('\0') != std::string::npos ? failure::of_errno(EINVAL, step::creating)
                                                    : name_refusal(path).while_doing(step::creating);
  if (!f && no_inputs && io_identity_of(path).known) return run_end::of(run_end::kind::not_replaced, name);
  if (!f) f = f2.create(path);
  if (!f) return {};
  std::string folder;
  if (f.error == ENOENT && folder_missing(name, folder)) return run_end::of(run_end::kind::no_folder, folder);
  return run_end::of(run_end::kind::file, name, f);
}

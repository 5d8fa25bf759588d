// The command line's inputs: patterns expanded, lists read, in order.
#include "entry/inputs.h"

#include <algorithm>
#include <cstring>

#include "console/diagnostic.h"
#include "entry/name_pattern.h"
#include "entry/path_list.h"
#include "host/folder_list.h"
#include "host/host_names.h"
#include "host/host_path.h"
#include "host/io.h"

namespace {

// The result's file, found among a pattern's matches at most once.
struct result_check {
  io_file_id id;
  bool said = false;

  // Whether the file at path (of the size the listing gave, -1 if unknown)
  // is the result's. Only a file of the result's size is looked at again.
  bool is_result(const std::string& path, long long size) const {
    if (!id.known || (size >= 0 && size != id.size)) return false;
    return io_identity_of(path).same_as(id);
  }
};

// Expands one pattern; false when it matches nothing or its folder cannot
// be read (the message said).
bool expand_pattern(const std::string& pattern, result_check& result, std::vector<image>& inputs) {
  const name_rules rules = host_name_rules();
  const std::size_t folder_length = folder_part_length(pattern, rules.backslash_separates);
  const std::string folder = pattern.substr(0, folder_length);
  const std::string name_key = pattern_key(pattern.substr(folder_length));
  std::vector<folder_file> files;
  std::string reason;
  if (!list_regular_files(folder, files, reason)) {
    complain(folder.empty() ? "." : folder, reason);
    return false;
  }
  // In the order the host's own listings show: by the names' keys (upper
  // case on Windows, as NTFS orders names), then by the names themselves.
  std::vector<std::pair<std::string, const folder_file*>> order;
  order.reserve(files.size());
  for (const folder_file& f : files) order.emplace_back(pattern_key(f.name), &f);
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second->name < b.second->name;
  });
  bool matched = false;
  for (const auto& keyed : order) {
    const folder_file& f = *keyed.second;
    if (rules.dot_files_hidden && f.name[0] == '.' && name_key[0] != '.') continue;
    if (!name_matches(name_key, keyed.first)) continue;
    matched = true;
    const std::string path = folder + f.name;
    if (result.is_result(path, f.size)) {
      if (!result.said)
        complain(path, "the result itself is left out of the files that " + shown_name(pattern) + " matches");
      result.said = true;
      continue;
    }
    inputs.push_back(image{path, f.size});
  }
  if (!matched) complain(pattern, "no file matches");
  return matched;
}

}  // namespace

int expand_inputs(const std::vector<input_arg>& args, const std::string& result_path, std::vector<image>& inputs) {
  result_check result;
  if (!result_path.empty()) result.id = io_identity_of(result_path);
  const bool backslash = host_name_rules().backslash_separates;
  for (const input_arg& a : args) {
    if (a.list) {
      if (const int refused = read_path_list(a.text, inputs)) return refused;
      continue;
    }
    if (a.text == "-") {
      image in{"-", -1};
      in.from_stdin = true;
      inputs.push_back(in);
      continue;
    }
    const std::size_t folder_length = folder_part_length(a.text, backslash);
    if (!has_wildcards(a.text) || io_identity_of(a.text).known) {
      inputs.push_back(image{a.text, -1});
    } else if (has_wildcards(a.text.substr(0, folder_length))) {
      complain_lines("tilvaro: " + shown_name(a.text) +
                     ": no such file, and wildcards in a folder's name are not expanded\n"
                     "Try 'tilvaro --help' for more information.\n");
      return 2;
    } else if (!expand_pattern(a.text, result, inputs)) {
      return 1;
    }
  }
  return 0;
}

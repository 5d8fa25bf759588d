// The command line's inputs made into paths: patterns expanded, lists read.
#pragma once

#include <string>
#include <vector>

#include "entry/command_line.h"
#include "merge/state.h"

// Appends to inputs, in order, the paths that args name (paths as the host
// takes them):
// - "-" is standard input (read once: input_memo.h);
// - an argument that names an existing file is that file;
// - otherwise one whose file-name part holds '*' or '?' is a pattern: the
//   regular files of its folder whose names match (folder_list.h and
//   name_pattern.h for the host's rules), in code-point order of their
//   names (on Windows ignoring case first: by the upper-cased names, then
//   by the names), each as the folder part typed followed by its name;
// - a list (args[i].list) gives its paths, one a line (path_list.h), taken
//   as they stand, without patterns;
// - any other argument is a path as it stands.
// A match that is the result's own file (result_path, "" for none) is left
// out, and standard error says so once. Returns the exit status: 0, or,
// after the message on standard error, 1 for a list that cannot be read or
// a pattern that matches nothing, 2 for an argument with a wildcard in its
// folder part that names no file or a list line refused (path_list.h).
int expand_inputs(const std::vector<input_arg>& args, const std::string& result_path, std::vector<image>& inputs);

// The files of a folder, and how the host's file names compare, for the
// patterns that the command line expands itself.
#pragma once

#include <string>
#include <vector>

struct folder_file {
  std::string name;  // as the folder holds it (UTF-8)
  long long size;    // in bytes; -1 when the listing does not tell (a link on Windows)
};

// The regular files in the folder host_folder ("" is the current folder):
// no folders, and a symbolic link only when it leads to a regular file.
// In no particular order. False with reason set (strerror) when the folder
// cannot be read.
bool list_regular_files(const std::string& host_folder, std::vector<folder_file>& files, std::string& reason);

// How the host's patterns see names.
struct name_rules {
  bool backslash_separates;  // '\' is a separator as well as '/' (Windows)
  bool dot_files_hidden;     // a name beginning with '.' matches only a pattern that does (POSIX)
};
name_rules host_name_rules();

// name as patterns compare it: in one letter case where the host's file
// systems ignore case (Windows), as it stands elsewhere.
std::string pattern_key(const std::string& name);

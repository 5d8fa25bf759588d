// Paths as the dialogue shows them ("C:\images\survey\a.zqd") and as the
// host's file system wants them.
#pragma once

#include <cstddef>
#include <string>

// The length of the folder part of path, the separator after it included:
// everything up to the last separator ('/', and '\' where backslash_too).
// 0 for a bare name.
inline std::size_t folder_part_length(const std::string& path, bool backslash_too) {
  const std::size_t last = path.find_last_of(backslash_too ? "/\\" : "/");
  return last == std::string::npos ? 0 : last + 1;
}

// The drive-form path handed to the file system. On Windows the path is used
// as it stands. Elsewhere every backslash becomes a '/', and the base
// directory "C:\images\" is the folder "images/" in the current working
// directory: "C:\images\survey\a.zqd" becomes "images/survey/a.zqd".
// The base directory is recognised as Windows would: the drive letter and the
// folder name in any letter case, '\' or '/' as separators, with or without
// the closing separator ("C:\images" is the folder itself), but not as the
// start of a longer name ("C:\images2\a" is not inside it). The rest of the
// path keeps its case; nothing is normalised, shortened or truncated. A path
// outside the base directory only has its backslashes mapped.
std::string host_path(const std::string& drive_path);

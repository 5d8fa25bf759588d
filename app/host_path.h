// Paths as the dialogue shows them ("C:\images\survey\a.zqd") and as the
// host's file system wants them.
#pragma once

#include <string>

// The drive-form path handed to the file system. On Windows the path is used
// as it stands. Elsewhere the base directory "C:\images\" is the folder
// "images/" in the current working directory and every backslash is a '/':
// "C:\images\survey\a.zqd" becomes "images/survey/a.zqd".
std::string host_path(const std::string& drive_path);

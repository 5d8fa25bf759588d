// Names that the host's file system would not take as they are written.
#pragma once

#include <string>

// Why the host would not take the names in host_path as written: a short
// reason for a message ("a reserved device name on Windows"), or "" when it
// would. On Windows a name that its path rules change (a device name such
// as CON or AUX.zqd, a name ending in a dot or a blank) would be another
// file than the one named, or a file that Windows' own tools cannot remove;
// elsewhere every such name is an ordinary file name.
std::string name_refusal(const std::string& host_path);

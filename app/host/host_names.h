// Names that the host's file system would not take as they are written.
#pragma once

#include <cstddef>
#include <string>

#include "host/failure.h"

// Why the host would not take the names in host_path as written: a
// refusal with a short reason for a message ("a reserved device name on
// Windows"), or nothing when it would. On Windows a name that its path rules change (a device name such
// as CON or AUX.zqd, a name ending in a dot or a blank) would be another
// file than the one named, or a file that Windows' own tools cannot remove,
// and a colon anywhere but after a drive letter names a stream of another
// file ("ab:c.zqd" is the stream c.zqd of ab), which no program shows;
// elsewhere every such name is an ordinary file name.
failure name_refusal(const std::string& host_path);

// The longest path, in bytes as the tool holds it, that the host's file
// calls take: a longer text names no file anywhere. POSIX: PATH_MAX (4096
// on Linux); Windows: the 32767 UTF-16 units of its wide calls, each at
// most 3 bytes of UTF-8.
std::size_t longest_path_bytes();

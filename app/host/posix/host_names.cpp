// Names on POSIX: every name the file system takes is taken as written.
#include "host/host_names.h"

#include <limits.h>

failure name_refusal(const std::string&) { return {}; }

std::size_t longest_path_bytes() { return PATH_MAX; }

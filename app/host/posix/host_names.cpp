// Names on POSIX: every name the file system takes is taken as written.
#include "host/host_names.h"

#include <limits.h>

std::string name_refusal(const std::string&) { return std::string(); }

std::size_t longest_path_bytes() { return PATH_MAX; }

// Paths in drive form on Windows: the file system takes them as they stand.
#include "host/host_path.h"

std::string host_path(const std::string& drive_path) { return drive_path; }

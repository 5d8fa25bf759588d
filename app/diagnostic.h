// Conventional diagnostics on standard error, beside the console's own text.
#pragma once

#include <string>

// Writes "tilvaro: <path>: <reason>\n" to standard error in one write. path
// is the path as handed to the host's file system. Write errors are ignored.
void complain(const std::string& path, const std::string& reason);

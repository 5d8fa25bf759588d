// The command line's arguments as text the tool can use as paths.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name. On Windows they are taken from the
// system's wide command line and given as UTF-8, like every path the tool
// hands to the file system (the narrow argv there is in the ANSI code page,
// which cannot hold every name); elsewhere they are argv as it stands.
std::vector<std::string> command_arguments(int argc, char* argv[]);

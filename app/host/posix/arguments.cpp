// Command-line arguments on POSIX: the bytes as the shell passed them.
#include "host/arguments.h"

std::vector<std::string> command_arguments(int argc, char* argv[]) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// The console on POSIX: bytes go out as they are; only the terminal test.
#include "console_host.h"

#include <unistd.h>

bool console_host_open() { return ::isatty(STDOUT_FILENO) == 1; }

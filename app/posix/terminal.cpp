// Which standard streams are terminals, on POSIX hosts.
#include "terminal.h"

#include <unistd.h>

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

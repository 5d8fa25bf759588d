// Which standard streams are terminals (consoles), on Windows.
#include "terminal.h"

#include <io.h>

#include <cstdio>

bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }
bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

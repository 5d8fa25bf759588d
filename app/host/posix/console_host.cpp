// The console on POSIX: bytes go out as they are; nothing to set up.
#include "host/console_host.h"

void console_host_open() {}

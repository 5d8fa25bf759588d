// The manual on POSIX hosts: the installed manual page.
#include "host/manual.h"

const char* manual_hint() { return "man tilvaro"; }

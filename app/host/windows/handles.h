// The descriptors of io.h on Windows: small ints for system handles. 0, 1
// and 2 are the standard handles; files get the numbers from 3 on. The C
// runtime's own descriptors are not used, so no text mode (CR LF, 0x1A) can
// ever stand between the tool and its bytes.
#pragma once

#include <windows.h>

// A descriptor for h, which it then owns; -1 when all are taken.
int fd_for_handle(HANDLE h);

// The handle of fd, or INVALID_HANDLE_VALUE.
HANDLE handle_of_fd(int fd);

// Gives up descriptor fd without closing its handle (which its owner closes).
void forget_fd(int fd);

// Closes the handle of a file descriptor (3 and up); false with the system's
// error when that fails.
bool close_fd(int fd);

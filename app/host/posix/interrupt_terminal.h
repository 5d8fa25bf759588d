// The terminal part of the interruption clean-up (interrupt.h), for the
// POSIX key wait: the settings the handler restores.
#pragma once

#include <termios.h>

// The terminal settings to restore on fd. A negative fd forgets them.
void interrupt_set_terminal(int fd, const termios& saved);
